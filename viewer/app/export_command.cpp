#include "export_command.h"

#include <sys/stat.h>

#include <algorithm>

#include "hmllib/script_ui.h"
#include "hvislib/questions.h"
#include "viewer.h"

namespace cloudview {
namespace {

// The cloud tool's frame and parts, as its script names them.
const char kFrame[] = "cloudtool";
const char kCloudList[] = "currentcloud";
const char kFileField[] = "savefile";
const char kExportButton[] = "savetoimg";
const char kMessage[] = "savelabel";
const char kSuccess[] = "Successfully exported ";

}  // namespace

std::string exportCloud(Viewer &viewer, const std::string &layerFile, int cloud,
                        const std::string &out, bool overwrite)
{
    HLayer *layer = viewer.openLayerFile(layerFile);
    viewer.gl().makeCurrent();
    host::runCommand(viewer.script(), "cloudupdate", viewer.scene().hscene(), {"showproperties"});
    HFrame *frame = host::findOpenFrame(kFrame, layer);
    if (!frame)
        throw ViewerError(layerFile + ": the cloud tool did not open");

    const HFrame *list = host::findPart(frame, kCloudList);
    const std::string label = "Cloud " + std::to_string(cloud);
    const size_t count = list ? list->items.size() : 0;
    if (!list || std::find(list->items.begin(), list->items.end(), label) == list->items.end())
        throw ViewerError(layerFile + ": there is no cloud " + std::to_string(cloud) +
                          " (the file holds " + std::to_string(count) + ")");
    host::firePart(frame, kCloudList, label);

    struct stat st;
    if (overwrite && stat(out.c_str(), &st) == 0)
        host::pushAnswer(true);
    host::setPartValue(host::findPart(frame, kFileField), out);
    host::firePart(frame, kExportButton, "");
    host::clearAnswers();

    const std::string message = host::partValueText(host::findPart(frame, kMessage));
    if (message.compare(0, sizeof kSuccess - 1, kSuccess) != 0) {
        // Asked whether to replace it, the headless run said No.
        const std::string hint =
            !overwrite && stat(out.c_str(), &st) == 0 ? " (it exists; --overwrite replaces it)" : "";
        throw ViewerError(out + ": " + (message.empty() ? "nothing was exported" : message) + hint);
    }
    return message;
}

}  // namespace cloudview
