// The script UI: the layer type's script parses with its command table,
// errors point at file:line:column, frame copies are independent, and a
// part fires its command with the substituted arguments and the right
// context.
#include "hlib.h"
#include "hmllib.h"
#include "viewer/hlib/error.h"
#include "viewer/hlib/heap_debug.h"
#include "viewer/hmllib/script_ui.h"
#include "viewer/tolatoollib/scene.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// ---- A command table that records every call.

struct Call {
    std::string command;
    void *first;
    void *context;
    Strings args;
};
std::vector<Call> calls;

template <int N> int recordCall(void *first, void *context, int32_t count, char **strings, HErrorSlot *) {
    static const char *const names[] = {"setvisibility", "raisetotop", "lowertobottom",
                                        "deletelayer", "cloudcreatemodellayer", "cloudAddcloud",
                                        "cloudplace", "CloudCancelPlacement", "cloudupdate"};
    calls.push_back({names[N], first, context, Strings(strings, strings + count)});
    EXPECT_EQ(strings[count], nullptr); // argv ends with a null, as C callers expect
    return 0;
}

int failingCommand(void *, void *, int32_t, char **, HErrorSlot *err) {
    herr_Set(err, "refused");
    return 7;
}

const HCommand fullTable[] = {
    {"setvisibility", recordCall<0>},     {"raisetotop", recordCall<1>},
    {"lowertobottom", recordCall<2>},     {"deletelayer", recordCall<3>},
    {"cloudcreatemodellayer", recordCall<4>}, {"cloudAddcloud", recordCall<5>},
    {"cloudplace", recordCall<6>},        {"CloudCancelPlacement", recordCall<7>},
    {"cloudupdate", recordCall<8>},       {nullptr, nullptr},
};

HScript *parse(const char *file, const HCommand *table, HErrorSlot *err) {
    *err = nullptr;
    return hhml_ParseVa(0, file, hhml_GetTheRoot()->first, err, 1, table, 0);
}

// A scratch directory of hml files, on the search path for the test.
class ScratchScripts {
public:
    ScratchScripts() {
        char pattern[] = "/tmp/hml_test_XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    ~ScratchScripts() {
        for (const std::string &f : files_)
            std::remove(f.c_str());
        rmdir(dir_.c_str());
    }
    void write(const std::string &name, const std::string &text) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path) << text;
        files_.push_back(path);
    }
    const std::string &dir() const { return dir_; }

private:
    std::string dir_;
    Strings files_;
};

// The line (from 1) of the first occurrence of needle in a file.
int lineOf(const std::string &path, const std::string &needle) {
    std::ifstream in(path);
    std::string line;
    for (int n = 1; std::getline(in, line); ++n)
        if (line.find(needle) != std::string::npos)
            return n;
    return 0;
}

class Hml : public ::testing::Test {
protected:
    void SetUp() override {
        host::setScriptPath("");
        calls.clear();
        HErrorSlot err;
        script = parse("tlcloud.hml", fullTable, &err);
        ASSERT_NE(script, nullptr) << herr_Message(err);
    }
    void TearDown() override {
        host::freeScript(script);
        host::setScriptPath("");
    }
    HScript *script = nullptr;
};

// ---- The layer type's script.

TEST_F(Hml, LayerTypeScriptHoldsEveryFrameMenuAndPart) {
    HErrorSlot err = nullptr;
    HFrame *tool = hhml_PartFind(script, "cloudtool", &err);
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(tool->kind, host::PartKind::Frame);
    const std::vector<std::pair<const char *, host::PartKind>> parts = {
        {"currentcloud", host::PartKind::Popup}, {"canvas", host::PartKind::Canvas},
        {"texturesize", host::PartKind::Choice}, {"cloudcolor", host::PartKind::Color},
        {"cloudpresets", host::PartKind::Choice}, {"sizepresets", host::PartKind::Choice},
        {"savelabel", host::PartKind::String},   {"apply", host::PartKind::Button}};
    for (const auto &[name, kind] : parts) {
        HFrame *part = hhml_FrameFindPart(tool, name, &err);
        ASSERT_NE(part, nullptr) << name;
        EXPECT_EQ(part->kind, kind) << name;
    }
    // What Apply would write stays in view with Apply, and copies keep it.
    EXPECT_EQ(tool->footer, "workingstate");
    for (const char *name : {"xposition", "yposition", "zposition", "xsize", "ysize", "zsize",
                             "cslicex", "cslicey", "cslicez", "density", "height", "zoom",
                             "cluster", "detail", "seed", "bottomscale", "panx", "pany",
                             "tslices"}) {
        HFrame *part = hhml_FrameFindPart(tool, name, &err);
        ASSERT_NE(part, nullptr) << name;
        EXPECT_EQ(part->kind, host::PartKind::Number) << name;
        EXPECT_EQ(part->command.rfind("cloudupdate ", 0), 0u) << name;
    }
    for (const char *name : {"add", "delete", "default", "generate", "generatesize",
                             "pancenter", "remove", "savetoimg", "showproperties"})
        EXPECT_NE(hhml_FrameFindPart(tool, name, &err), nullptr) << name;
    HFrame *canvas = hhml_FrameFindPart(tool, "canvas", &err);
    EXPECT_EQ(canvas->width, 256);
    EXPECT_EQ(canvas->height, 256);
    EXPECT_EQ(hhml_FrameFindPart(tool, "density", &err)->command, "cloudupdate density");
    EXPECT_EQ(hhml_FrameFindPart(tool, "texturesize", &err)->command, "cloudupdate texsize {value}");
    EXPECT_EQ(hhml_FrameFindPart(tool, "cloudcolor", &err)->command,
              "cloudupdate cloudcolor {r} {g} {b}");
    EXPECT_EQ(hhml_FrameFindPart(tool, "add", &err)->command, "cloudAddcloud");
    EXPECT_EQ(hhml_FrameFindPart(tool, "currentcloud", &err)->command, "cloudupdate currentcloud");
    EXPECT_EQ(hhml_FrameFindPart(tool, "tslices", &err)->number, 10.0); // the record's default
    EXPECT_EQ(err, nullptr);

    HFrame *placement = hhml_PartFind(script, "cloudplacement", &err);
    ASSERT_NE(placement, nullptr);
    EXPECT_EQ(host::findPart(placement, "done")->command, "CloudCancelPlacement");

    HMenu *menu = hhml_FindMenu(script, "tlcloudmenu", &err);
    ASSERT_NE(menu, nullptr);
    EXPECT_FALSE(menu->popup);
    // The items act on the layer the menu is shown for; a new layer is the scene's.
    using Context = host::CommandContext;
    const std::vector<std::tuple<const char *, const char *, Context>> items = {
        {"Cloud Tool...", "cloudupdate showproperties", Context::Target},
        {"Place clouds", "cloudplace", Context::Target},
        {"Hide clouds", "cloudupdate hideall True", Context::Target},
        {"Show clouds", "cloudupdate hideall False", Context::Target},
        {"New cloud layer", "cloudcreatemodellayer", Context::Scene}};
    for (const auto &[label, command, context] : items) {
        const host::MenuItem *item = host::findMenuItem(menu, label);
        ASSERT_NE(item, nullptr) << label;
        EXPECT_EQ(item->command, command);
        EXPECT_EQ(item->context, context) << label;
    }
    HMenu *popup = hhml_FindMenu(script, "tlcloud_stacker_popup", &err);
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(popup->popup);
    for (const char *command : {"setvisibility", "raisetotop", "lowertobottom", "deletelayer",
                                "cloudupdate showproperties"}) {
        bool found = false;
        for (const host::MenuItem &item : popup->items)
            found = found || (item.command == command && item.context == host::CommandContext::Target);
        EXPECT_TRUE(found) << command;
    }
    const host::Action *del = host::findAction(script, "delcloud");
    ASSERT_NE(del, nullptr);
    EXPECT_EQ(del->command, "cloudupdate delselected");
    EXPECT_EQ(err, nullptr);
}

TEST_F(Hml, MissingNamesAreNullWithAnError) {
    HErrorSlot err = nullptr;
    EXPECT_EQ(hhml_PartFind(script, "nosuchframe", &err), nullptr);
    EXPECT_NE(std::string(herr_Message(err)).find("nosuchframe"), std::string::npos);
    err = nullptr;
    EXPECT_EQ(hhml_FindMenu(script, "cloudtool", &err), nullptr); // frames are not menus
    EXPECT_NE(err, nullptr);
    HFrame *tool = hhml_PartFind(script, "cloudtool", nullptr);
    err = nullptr;
    EXPECT_EQ(hhml_FrameFindPart(tool, "Density", &err), nullptr); // names are exact
    EXPECT_NE(err, nullptr);
}

// ---- Parse errors.

TEST(HmlErrors, CommandMissingFromTheTableIsNamedWithItsPlace) {
    host::setScriptPath("");
    HCommand table[std::size(fullTable)];
    size_t n = 0;
    for (const HCommand &c : fullTable)
        if (!c.name || std::string(c.name) != "cloudplace")
            table[n++] = c;
    HErrorSlot err;
    EXPECT_EQ(parse("tlcloud.hml", table, &err), nullptr);
    const std::string path = host::findResource("tlcloud.hml");
    const std::string message = herr_Message(err);
    const std::string where = path + ":" + std::to_string(lineOf(path, "\"cloudplace\"")) + ":";
    EXPECT_EQ(message.rfind(where, 0), 0u) << message;
    EXPECT_NE(message.find("unknown command 'cloudplace'"), std::string::npos) << message;
    // Without any table every command is unknown.
    err = nullptr;
    EXPECT_EQ(hhml_ParseVa(0, "tlcloud.hml", hhml_GetTheRoot()->first, &err, 0), nullptr);
    EXPECT_NE(std::string(herr_Message(err)).find("unknown command"), std::string::npos);
}

TEST(HmlErrors, MalformedXmlGivesLineAndColumn) {
    ScratchScripts dir;
    dir.write("bad.hml", "<hml>\n  <frame name=\"a\">\n    <button label=\"x\" command=\"cloudplace\">\n  </frame>\n</hml>\n");
    host::setScriptPath(dir.dir());
    HErrorSlot err;
    EXPECT_EQ(parse("bad.hml", fullTable, &err), nullptr);
    const std::string message = herr_Message(err);
    EXPECT_EQ(message.rfind(dir.dir() + "/bad.hml:4:", 0), 0u) << message;
    EXPECT_NE(message.find("not well-formed"), std::string::npos) << message;
    host::setScriptPath("");
}

TEST(HmlErrors, ContentErrorsPointAtTheElement) {
    ScratchScripts dir;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"<hml>\n<frame name=\"f\">\n  <slider name=\"s\"/>\n</frame>\n</hml>", ":3:3: unknown part <slider>"},
        {"<hml>\n<frame name=\"f\">\n  <number name=\"n\" min=\"low\"/>\n</frame>\n</hml>", ":3:3: min 'low' is not a number"},
        {"<hml>\n<frame name=\"f\">\n  <string name=\"s\" comand=\"cloudplace\"/>\n</frame>\n</hml>", ":3:3: unknown attribute 'comand'"},
        {"<hml>\n<frame name=\"f\">\n <label name=\"a\"/>\n <label name=\"a\"/>\n</frame>\n</hml>", ":4:2: frame 'f' has two parts named 'a'"},
        {"<hml>\n  <frame title=\"t\"/>\n</hml>", ":2:3: <frame> needs a name"},
        {"<ui/>", ":1:1: the root element is <ui>"},
        {"<hml>\n<menu name=\"m\">\n  <item label=\"x\" command=\"cloudupdate &quot;open\"/>\n</menu>\n</hml>", ":3:3: command 'cloudupdate \"open': unclosed quote"},
        {"<hml>\n<frame name=\"f\">\n  <button label=\"b\" command=\"cloudupdate x {value:nope}\"/>\n</frame>\n</hml>", ":3:3: command 'cloudupdate x {value:nope}' refers to a part 'nope'"},
        {"<hml>\n<frame name=\"f\">\n  <canvas name=\"c\" width=\"0\"/>\n</frame>\n</hml>", ":3:3: width '0'"},
        {"<hml>\n  <action name=\"a\" command=\"rm\"/>\n</hml>", ":2:3: unknown command 'rm'"},
        {"<hml>\n <frame name=\"f\" footer=\"ok\">\n  <button name=\"okay\"/>\n </frame>\n</hml>",
         ":2:2: frame 'f' keeps 'ok' at its foot but has no part of that name"},
    };
    host::setScriptPath(dir.dir());
    int n = 0;
    for (const auto &[text, expected] : cases) {
        const std::string name = "case" + std::to_string(n++) + ".hml";
        dir.write(name, text);
        HErrorSlot err;
        EXPECT_EQ(parse(name.c_str(), fullTable, &err), nullptr) << name;
        const std::string message = herr_Message(err);
        EXPECT_EQ(message.find(dir.dir() + "/" + name + expected), 0u) << message;
    }
    host::setScriptPath("");
}

TEST(HmlErrors, MissingFileAndWrongRootAreRefused) {
    host::setScriptPath("/nonexistent-a:/nonexistent-b");
    HErrorSlot err;
    EXPECT_EQ(parse("tlcloud.hml", fullTable, &err), nullptr);
    const std::string message = herr_Message(err);
    EXPECT_NE(message.find("tlcloud.hml: script not found"), std::string::npos) << message;
    EXPECT_NE(message.find("/nonexistent-b"), std::string::npos) << message;
    host::setScriptPath("");
    int other = 0;
    err = nullptr;
    EXPECT_EQ(hhml_ParseVa(0, "tlcloud.hml", &other, &err, 1, fullTable, 0), nullptr);
    EXPECT_NE(std::string(herr_Message(err)).find("root"), std::string::npos);
    err = nullptr;
    EXPECT_EQ(hhml_ParseVa(0, "tlcloud.hml", hhml_GetTheRoot()->first, &err, 2, fullTable, 0),
              nullptr); // an option the parser does not know
    EXPECT_NE(err, nullptr);
}

TEST(HmlErrors, SearchPathFindsTheFirstDirectoryHoldingTheFile) {
    ScratchScripts a, b;
    b.write("only.hml", "<hml/>");
    host::setScriptPath(a.dir() + ":" + b.dir());
    EXPECT_EQ(host::findResource("only.hml"), b.dir() + "/only.hml");
    HErrorSlot err;
    HScript *empty = parse("only.hml", fullTable, &err);
    ASSERT_NE(empty, nullptr) << herr_Message(err);
    EXPECT_TRUE(empty->frames.empty());
    host::freeScript(empty);
    host::setScriptPath("");
    EXPECT_EQ(host::findResource("only.hml"), "");
    EXPECT_NE(host::findResource("tlcloud.hml"), ""); // the source tree's resources
}

// ---- Frame copies and values.

TEST_F(Hml, CopiesAreIndependentOfEachOtherAndOfTheScript) {
    HFrame *tool = hhml_PartFind(script, "cloudtool", nullptr);
    HErrorSlot err = nullptr;
    HFrame *a = hhml_PartDup(tool, &err);
    HFrame *b = hhml_PartDup(tool, &err);
    ASSERT_TRUE(a && b && a != tool && a != b);
    int ctxA = 0, ctxB = 0;
    hhml_FrameContextSet(a, &ctxA, &err);
    hhml_FrameContextSet(b, &ctxB, &err);
    hhml_NumberPartValueSet(hhml_FrameFindPart(a, "density", &err), 0.9, &err);
    hhml_StringPartValueSet(hhml_FrameFindPart(a, "savelabel", &err), "done", &err);
    EXPECT_EQ(hhml_NumberPartValueGet(hhml_FrameFindPart(a, "density", &err), &err), 0.9);
    EXPECT_EQ(hhml_NumberPartValueGet(hhml_FrameFindPart(b, "density", &err), &err), 0.3);
    EXPECT_EQ(hhml_NumberPartValueGet(hhml_FrameFindPart(tool, "density", &err), &err), 0.3);
    EXPECT_STREQ(hhml_StringPartValueGet(hhml_FrameFindPart(b, "savelabel", &err), &err), "");
    EXPECT_EQ(a->frameContext, &ctxA);
    EXPECT_EQ(b->frameContext, &ctxB);
    EXPECT_EQ(tool->frameContext, nullptr);
    EXPECT_EQ(hhml_FrameFindPart(a, "density", &err)->frame, a); // parts belong to their copy
    EXPECT_EQ(err, nullptr);

    hhml_FrameDisplay(a, &err);
    hhml_FrameDisplay(b, &err);
    EXPECT_EQ(host::openFrames(), (std::vector<HFrame *>{a, b}));
    hhml_FrameDisplay(a, &err); // raising moves it last
    EXPECT_EQ(host::openFrames(), (std::vector<HFrame *>{b, a}));
    EXPECT_EQ(host::findOpenFrame("cloudtool", &ctxB), b);
    EXPECT_EQ(host::findOpenFrame("cloudtool"), a);
    hhml_FrameRemove(a, &err); // destroys the copy
    EXPECT_EQ(host::openFrames(), std::vector<HFrame *>{b});
    EXPECT_EQ(script->copies, std::vector<HFrame *>{b});
    EXPECT_EQ(hhml_NumberPartValueGet(hhml_FrameFindPart(b, "density", &err), &err), 0.3);
    hhml_FrameRemove(b, &err);
    EXPECT_TRUE(host::openFrames().empty());
    EXPECT_EQ(err, nullptr);
}

TEST_F(Hml, RemovingTheScriptsOwnFrameOnlyHidesIt) {
    HErrorSlot err = nullptr;
    HFrame *placement = hhml_PartFind(script, "cloudplacement", &err);
    int layer = 0;
    hhml_FrameContextSet(placement, &layer, &err);
    hhml_FrameDisplay(placement, &err);
    EXPECT_TRUE(placement->displayed);
    hhml_FrameRemove(placement, &err);
    EXPECT_FALSE(placement->displayed);
    EXPECT_TRUE(host::openFrames().empty());
    EXPECT_EQ(hhml_PartFind(script, "cloudplacement", &err), placement); // still there to show again
    EXPECT_EQ(placement->frameContext, nullptr);
    EXPECT_EQ(err, nullptr);
}

TEST_F(Hml, PartValuesByKind) {
    HErrorSlot err = nullptr;
    HFrame *tool = hhml_PartDup(hhml_PartFind(script, "cloudtool", &err), &err);
    HFrame *texture = hhml_FrameFindPart(tool, "texturesize", &err);
    EXPECT_STREQ(hhml_StringPartValueGet(texture, &err), "32");
    hhml_StringPartValueSet(texture, "64", &err);
    const char *text = hhml_StringPartValueGet(texture, &err);
    EXPECT_STREQ(text, "64");
    EXPECT_EQ(texture->selected, 3);
    hhml_StringPartValueSet(texture, "100", &err); // not an item: kept, nothing selected
    EXPECT_STREQ(hhml_StringPartValueGet(texture, &err), "100");
    EXPECT_EQ(texture->selected, -1);
    EXPECT_EQ(hhml_NumberPartValueGet(texture, &err), 100.0);

    HFrame *seed = hhml_FrameFindPart(tool, "seed", &err);
    hhml_NumberPartValueSet(seed, 12934.5, &err);
    EXPECT_STREQ(hhml_StringPartValueGet(seed, &err), "12934.5");
    hhml_NumberPartValueSet(seed, -20000, &err); // outside min/max: kept as given
    EXPECT_EQ(hhml_NumberPartValueGet(seed, &err), -20000.0);
    EXPECT_EQ(err, nullptr);
    hhml_StringPartValueSet(seed, "many", &err); // a number part refuses text
    EXPECT_NE(err, nullptr);
    EXPECT_EQ(hhml_NumberPartValueGet(seed, nullptr), -20000.0);

    HFrame *color = hhml_FrameFindPart(tool, "cloudcolor", nullptr);
    const HButtonColor pink{1.0, 0.752941, 0.796078, 1.0, 1, 0};
    hhml_SetButtonColor(color, &pink, 1);
    double rgb[3];
    hhml_GetButtonColor(color, rgb);
    EXPECT_EQ(rgb[0], 1.0);
    EXPECT_EQ(rgb[1], 0.752941);
    EXPECT_EQ(rgb[2], 0.796078);
    err = nullptr;
    EXPECT_EQ(hhml_NumberPartValueGet(hhml_FrameFindPart(tool, "apply", nullptr), &err), 0.0);
    EXPECT_NE(err, nullptr); // a button holds no number
    hhml_FrameRemove(tool, nullptr);
}

TEST_F(Hml, PopupTakesTheSetAndShowsTheSelectedItem) {
    HErrorSlot err = nullptr;
    HFrame *tool = hhml_PartDup(hhml_PartFind(script, "cloudtool", &err), &err);
    HFrame *popup = hhml_FrameFindPart(tool, "currentcloud", &err);
    HSet *set = hhci_NewSet(0, 0, &err);
    for (const char *label : {"Cloud 1", "Cloud 2", "Cloud 3"})
        hhml_SetAddString(set, label, &err);
    hhml_PopupListReplaceItems(popup, set, 0, 0, 0, 1, &err);
    EXPECT_EQ(popup->items, (Strings{"Cloud 1", "Cloud 2", "Cloud 3"}));
    EXPECT_STREQ(hhml_StringPartValueGet(popup, &err), "Cloud 2");
    hhml_StringPartValueSet(popup, "Cloud 3", &err);
    EXPECT_EQ(popup->selected, 2);

    HSet *shorter = hhci_NewSet(0, 0, &err);
    hhml_SetAddString(shorter, "Cloud 1", &err);
    hhml_PopupListReplaceItems(popup, shorter, 0, 0, 0, 5, &err); // out of range: first
    EXPECT_STREQ(hhml_StringPartValueGet(popup, &err), "Cloud 1");
    hhml_PopupListReplaceItems(popup, hhci_NewSet(0, 0, &err), 0, 0, 0, 0, &err);
    EXPECT_TRUE(popup->items.empty());
    EXPECT_STREQ(hhml_StringPartValueGet(popup, &err), "");
    EXPECT_EQ(err, nullptr);
    // Not a popup: refused, the set still taken (nothing leaks under ASan).
    hhml_PopupListReplaceItems(hhml_FrameFindPart(tool, "density", nullptr), hhci_NewSet(0, 0, nullptr),
                               0, 0, 0, 0, &err);
    EXPECT_NE(err, nullptr);
    hhml_FrameRemove(tool, nullptr);
}

// ---- Firing parts and running commands.

TEST_F(Hml, FiringAPartSetsItsValueAndRunsItsCommandInTheFramesContext) {
    host::Scene scene;
    HErrorSlot err = nullptr;
    HFrame *tool = hhml_PartDup(hhml_PartFind(script, "cloudtool", &err), &err);
    int layer = 0;
    hhml_FrameContextSet(tool, &layer, &err);
    hhml_FrameSourceSet(tool, scene.window(), &err);

    host::CommandResult r = host::firePart(tool, "density", "0.6");
    EXPECT_TRUE(r.ran) << r.error;
    EXPECT_EQ(hhml_NumberPartValueGet(hhml_FrameFindPart(tool, "density", &err), &err), 0.6);
    r = host::firePart(tool, "texturesize", "64");
    r = host::firePart(tool, "cloudcolor", "0.5 0.25 1");
    r = host::firePart(tool, "apply", "");
    r = host::firePart(tool, "add", "");
    r = host::firePart(tool, "Export image", ""); // by label
    ASSERT_EQ(calls.size(), 6u);
    EXPECT_EQ(calls[0].command, "cloudupdate");
    EXPECT_EQ(calls[0].args, Strings{"density"});
    EXPECT_EQ(calls[0].context, &layer);
    EXPECT_EQ(calls[0].first, nullptr);
    EXPECT_EQ(calls[1].args, (Strings{"texsize", "64"}));
    EXPECT_EQ(calls[2].args, (Strings{"cloudcolor", "0.5", "0.25", "1"}));
    EXPECT_EQ(calls[3].args, Strings{"apply"});
    EXPECT_EQ(calls[4].command, "cloudAddcloud"); // the tool's own layer, not the scene's first
    EXPECT_TRUE(calls[4].args.empty());
    EXPECT_EQ(calls[4].context, &layer);
    EXPECT_EQ(calls[5].args, (Strings{"savetoimg", "cloud.tif"}));
    EXPECT_EQ(calls[5].context, &layer);

    calls.clear();
    r = host::firePart(tool, "zoom", "big"); // a number part refuses text: nothing runs
    EXPECT_FALSE(r.ran);
    EXPECT_NE(r.error.find("not a number"), std::string::npos);
    r = host::firePart(tool, "nosuchpart", "1");
    EXPECT_FALSE(r.ran);
    r = host::firePart(tool, "savefile", "sky.tif"); // a part without a command only takes the value
    EXPECT_FALSE(r.ran);
    EXPECT_TRUE(r.error.empty());
    r = host::firePart(tool, "savetoimg", ""); // shows the other part's new value
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args, (Strings{"savetoimg", "sky.tif"}));
    hhml_FrameRemove(tool, nullptr);
}

TEST_F(Hml, PopupFiresWithItsSelectedTextAsOneWord) {
    HErrorSlot err = nullptr;
    HFrame *tool = hhml_PartDup(hhml_PartFind(script, "cloudtool", &err), &err);
    HSet *set = hhci_NewSet(0, 0, &err);
    hhml_SetAddString(set, "Cloud 1", &err);
    hhml_SetAddString(set, "Cloud 2", &err);
    hhml_PopupListReplaceItems(hhml_FrameFindPart(tool, "currentcloud", &err), set, 0, 0, 0, 0, &err);
    host::CommandResult r = host::firePart(tool, "currentcloud", "Cloud 2");
    EXPECT_TRUE(r.ran);
    EXPECT_STREQ(hhml_StringPartValueGet(hhml_FrameFindPart(tool, "currentcloud", &err), &err),
                 "Cloud 2");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args, Strings{"currentcloud"});
    hhml_FrameRemove(tool, nullptr);
}

TEST_F(Hml, RunCommandPassesArgumentsAndReportsFailures) {
    int context = 0;
    host::CommandResult r = host::runCommand(script, "cloudupdate", &context, {"hideall", "True"});
    EXPECT_TRUE(r.ran);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args, (Strings{"hideall", "True"}));
    EXPECT_EQ(calls[0].context, &context);
    r = host::runCommand(script, "CLOUDUPDATE", &context, {}); // names are exact
    EXPECT_FALSE(r.ran);
    EXPECT_NE(r.error.find("unknown command"), std::string::npos);
    r = host::runCommandLine(script, "cloudupdate savetoimg \"my sky.tif\"", &context);
    EXPECT_EQ(calls.back().args, (Strings{"savetoimg", "my sky.tif"}));

    // The slot and status of a failing command come back.
    const HCommand failing[] = {{"cloudplace", failingCommand}, {nullptr, nullptr}};
    ScratchScripts dir;
    dir.write("f.hml", "<hml><frame name=\"f\"><button name=\"b\" command=\"cloudplace\"/></frame></hml>");
    host::setScriptPath(dir.dir());
    HErrorSlot err;
    HScript *small = parse("f.hml", failing, &err);
    ASSERT_NE(small, nullptr) << herr_Message(err);
    r = host::firePart(hhml_PartFind(small, "f", nullptr), "b", "");
    EXPECT_TRUE(r.ran);
    EXPECT_EQ(r.status, 7);
    EXPECT_EQ(r.error, "refused");
    host::freeScript(small);
}

TEST_F(Hml, MenusFireInTheirWindowsSceneOrTheGivenContext) {
    host::Scene scene;
    HErrorSlot err = nullptr;
    HMenu *menu = hhml_FindMenu(script, "tlcloudmenu", &err);
    HMenu *forWindow = hhml_MenuExtract(menu, scene.window(), &err);
    ASSERT_NE(forWindow, nullptr);
    EXPECT_EQ(hhml_MenuExtract(menu, scene.window(), &err), forWindow); // one per window
    EXPECT_EQ(forWindow->window, scene.window());
    int layer = 0;
    host::CommandResult r = host::fireMenuItem(forWindow, "Hide clouds", &layer);
    EXPECT_TRUE(r.ran);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args, (Strings{"hideall", "True"}));
    EXPECT_EQ(calls[0].context, &layer); // what the menu is shown for
    r = host::fireMenuItem(forWindow, "New cloud layer", &layer);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].context, scene.hscene()); // marked context="scene"

    HMenu *popup = host::findMenu(script, "tlcloud_stacker_popup");
    r = host::fireMenuItem(popup, "raise", &layer);
    EXPECT_EQ(calls.back().command, "raisetotop");
    EXPECT_EQ(calls.back().context, &layer);
    r = host::fireMenuItem(popup, "no such item", &layer);
    EXPECT_FALSE(r.ran);
    EXPECT_EQ(err, nullptr);
}

TEST_F(Hml, ClosingAFrameRunsItsCloseCommand) {
    HErrorSlot err = nullptr;
    HFrame *placement = hhml_PartFind(script, "cloudplacement", &err);
    int layer = 0;
    hhml_FrameContextSet(placement, &layer, &err);
    host::CommandResult r = host::closeFrame(placement);
    EXPECT_TRUE(r.ran);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].command, "CloudCancelPlacement");
    EXPECT_EQ(calls[0].context, &layer);
}

// ---- Canvases.

struct Plane {
    std::vector<uint8_t> bytes;
    HBaseData record;
    Plane(int width, int height, uint8_t base) : bytes(size_t(width) * height) {
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = uint8_t(base + i);
        record = {height, width, HGDA_UINT8, bytes.data(), width, 1};
    }
};

int exposes = 0;
void countExpose(void *, void *event, void *client) {
    if (*static_cast<int32_t *>(event) == HCANVAS_EXPOSE && client == &exposes)
        ++exposes;
}

TEST_F(Hml, CanvasShowsPixelPlanesAndIsReleasedInAnyOrder) {
    const size_t canvasesBefore = host::liveCanvasCount();
    const size_t contextsBefore = host::liveCanvasContextCount();
    HErrorSlot err = nullptr;
    HFrame *tool = hhml_PartDup(hhml_PartFind(script, "cloudtool", &err), &err);
    HFrame *part = hhml_FrameFindPart(tool, "canvas", &err);
    HCanvas *canvas = hhml_CanvasCreate(part, 0, &err);
    ASSERT_NE(canvas, nullptr);
    EXPECT_EQ(host::canvasOfPart(part), canvas);
    int32_t w = 0, h = 0;
    hhml_CanvasGetDimensions(canvas, &w, &h, &err);
    EXPECT_EQ(w, 256);
    EXPECT_EQ(h, 256);
    hhml_CanvasSetEventHandler(canvas, countExpose, &exposes, &err);
    exposes = 0;
    EXPECT_TRUE(host::sendCanvasEvent(canvas, HCANVAS_EXPOSE));
    EXPECT_EQ(exposes, 1);

    HCanvasContext *ctx = hhml_CanvasContextCreate(canvas, &err);
    HCanvas *offscreen = hhml_CanvasCreateOffScreenCopyVis(canvas, w, h, &err);
    HCanvasContext *offCtx = hhml_CanvasContextCreate(offscreen, &err);
    hhml_CanvasContextSetColorMethod(ctx, 1, &err);
    hhml_CanvasContextSetLineWidth(ctx, 1, &err);
    Plane red(4, 3, 0), green(4, 3, 100), blue(4, 3, 200);
    hhml_CanvasShowRGBPixrect(ctx, &red.record, &green.record, &blue.record, 0, 0, 0, 0, 4, 3, 0,
                              0, &err);
    EXPECT_EQ(err, nullptr);
    auto pixel = [&](int x, int y) {
        const auto p = host::canvasPixel(canvas, x, y);
        return std::vector<int>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(pixel(0, 0), (std::vector<int>{0, 100, 200}));
    EXPECT_EQ(pixel(3, 2), (std::vector<int>{11, 111, 211})); // byte r * width + c
    EXPECT_EQ(pixel(4, 0), (std::vector<int>{0, 0, 0}));      // outside the rectangle
    Plane small(2, 2, 0);
    hhml_CanvasShowRGBPixrect(ctx, &small.record, &small.record, &small.record, 0, 0, 0, 0, 4, 3,
                              0, 0, &err);
    EXPECT_NE(err, nullptr); // planes smaller than the rectangle are refused

    // The layer type deletes the canvases before their contexts.
    hhml_FrameRemove(tool, nullptr); // the part goes, the canvas stays
    EXPECT_EQ(canvas->part, nullptr);
    err = nullptr;
    hhml_CanvasDelete(canvas, &err);
    hhml_CanvasDelete(offscreen, &err);
    hhml_CanvasContextSetLineWidth(ctx, 2, &err); // a context outliving its canvas is safe
    hhml_CanvasShowRGBPixrect(ctx, &red.record, &green.record, &blue.record, 0, 0, 0, 0, 4, 3, 0,
                              0, &err);
    EXPECT_NE(err, nullptr);
    hhml_CanvasContextDelete(ctx, nullptr);
    hhml_CanvasContextDelete(offCtx, nullptr);
    EXPECT_EQ(host::liveCanvasCount(), canvasesBefore);
    EXPECT_EQ(host::liveCanvasContextCount(), contextsBefore);
}

TEST(Canvas, IconHelpersGiveSizesAndHeapBlocks) {
    const size_t live = hmsc_HeapLiveBlocks();
    double *face = hhml_ButtonFaceColorGet();
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face[0], 0.85);
    EXPECT_EQ(face[2], 0.85);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), live + 1);
    hmsc_HeapFree(face);
    EXPECT_EQ(hmsc_HeapLiveBlocks(), live);
    hmsc_HeapFailAfter(1);
    EXPECT_EQ(hhml_ButtonFaceColorGet(), nullptr);

    int32_t w = 0, h = 0, hx = -1, hy = -1;
    HErrorSlot err = nullptr;
    HCanvas *bitmap = hhml_CanvasReadXpmFile(nullptr, "cloud.bmp", &w, &h, &hx, &hy, &err);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 32);
    HCanvas *icon = hhml_CanvasCreateOffScreenCopyVis(nullptr, 120, 48, &err);
    HCanvasContext *ctx = hhml_CanvasContextCreate(icon, &err);
    const HCanvasColor light{0, 0.9, 0.9, 0.9}, faceColor{0, 0.85, 0.85, 0.85}, dark{0, 0.4, 0.4, 0.4};
    hhml_CanvasDrawBevelRect(ctx, 0, 0, 0, 0, 120, 48, 2, &light, &faceColor, &dark, &err);
    auto grey = [&](int x, int y) { return int(host::canvasPixel(icon, x, y)[0]); };
    EXPECT_EQ(grey(0, 0), 230);    // light edge
    EXPECT_EQ(grey(60, 24), 217);  // face
    EXPECT_EQ(grey(119, 47), 102); // dark edge
    hhml_CanvasCopyArea(ctx, bitmap, 0, 0, w, h, 6, 6, &err);
    // The bitmap landed at (6, 6): its grey background at the corner, the
    // white cloud inside.
    EXPECT_EQ(grey(6, 6), 217);
    EXPECT_EQ(grey(6 + 18, 6 + 13), 255);
    EXPECT_EQ(grey(5, 5), 217);
    EXPECT_EQ(err, nullptr);
    hhml_CanvasDelete(bitmap, nullptr);
    hhml_CanvasContextDelete(ctx, nullptr);
    hhml_CanvasDelete(icon, nullptr);
}

TEST(Canvas, BitmapsAreUncompressedBmpsAndAnythingElseIsNamed) {
    const size_t canvases = host::liveCanvasCount();
    int32_t w = 7, h = 7;
    HErrorSlot err = nullptr;
    EXPECT_EQ(hhml_CanvasReadXpmFile(nullptr, "no-such.bmp", &w, &h, nullptr, nullptr, &err),
              nullptr);
    ASSERT_NE(err, nullptr);
    EXPECT_NE(std::string(herr_Message(err)).find("no-such.bmp: bitmap not found"),
              std::string::npos);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    // A file that is no BMP, and one cut short.
    const std::string dir = ::testing::TempDir();
    std::FILE *f = std::fopen((dir + "/text.bmp").c_str(), "wb");
    std::fputs("hello, not a bitmap at all; long enough to have a header of fifty-four bytes", f);
    std::fclose(f);
    err = nullptr;
    EXPECT_EQ(hhml_CanvasReadXpmFile(nullptr, (dir + "/text.bmp").c_str(), &w, &h, nullptr,
                                     nullptr, &err),
              nullptr);
    EXPECT_NE(std::string(herr_Message(err)).find("not a BMP file"), std::string::npos);
    // A 2 x 2, 24-bit, bottom-up BMP: rows padded to 8 bytes.
    unsigned char bmp[54 + 16] = {'B', 'M'};
    bmp[10] = 54;
    bmp[14] = 40;
    bmp[18] = 2;
    bmp[22] = 2;
    bmp[26] = 1;
    bmp[28] = 24;
    const unsigned char rows[16] = {255, 0, 0, 0, 255, 0, 0, 0, /* bottom: blue, green */
                                    0, 0, 255, 255, 255, 255, 0, 0 /* top: red, white */};
    std::memcpy(bmp + 54, rows, sizeof rows);
    f = std::fopen((dir + "/tiny.bmp").c_str(), "wb");
    std::fwrite(bmp, 1, sizeof bmp, f);
    std::fclose(f);
    err = nullptr;
    HCanvas *tiny = hhml_CanvasReadXpmFile(nullptr, (dir + "/tiny.bmp").c_str(), &w, &h, nullptr,
                                           nullptr, &err);
    ASSERT_NE(tiny, nullptr) << herr_Message(err);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(host::canvasRGB(tiny), (std::vector<uint8_t>{255, 0, 0, 255, 255, 255, 0, 0, 255,
                                                           0, 255, 0}));
    hhml_CanvasDelete(tiny, nullptr);
    f = std::fopen((dir + "/short.bmp").c_str(), "wb");
    std::fwrite(bmp, 1, 60, f);
    std::fclose(f);
    err = nullptr;
    EXPECT_EQ(hhml_CanvasReadXpmFile(nullptr, (dir + "/short.bmp").c_str(), &w, &h, nullptr,
                                     nullptr, &err),
              nullptr);
    EXPECT_NE(std::string(herr_Message(err)).find("cut short"), std::string::npos);
    EXPECT_EQ(host::liveCanvasCount(), canvases);
}

TEST(Canvas, TextIsMeasuredAndDrawnInTheForeground) {
    HErrorSlot err = nullptr;
    HCanvas *canvas = hhml_CanvasCreateOffScreenCopyVis(nullptr, 100, 30, &err);
    HCanvasContext *ctx = hhml_CanvasContextCreate(canvas, &err);
    hhml_CanvasContextSetFont(ctx, "stackerbold", &err);
    int32_t e1 = -1, e2 = 0, e3 = 0, e4 = 0;
    hhml_CanvasContextGetStringExtents(ctx, "Wide", &e1, &e2, &e3, &e4, &err);
    EXPECT_EQ(e1, 0);
    EXPECT_GT(e2, 20);
    EXPECT_LT(e3, 0);
    EXPECT_GT(e4, 0);
    int32_t n2 = 0;
    hhml_CanvasContextSetFont(ctx, "plain", &err);
    hhml_CanvasContextGetStringExtents(ctx, "Wide", nullptr, &n2, nullptr, nullptr, &err);
    EXPECT_LT(n2, e2);  // bold is wider
    const HCanvasColor white{0, 1, 1, 1};
    hhml_CanvasContextSetForeground(ctx, &white, &err);
    hhml_CanvasDrawText(ctx, "Wide", 10, 20, &err);
    EXPECT_EQ(err, nullptr);
    int lit = 0, below = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 100; ++x) {
            const bool on = host::canvasPixel(canvas, x, y)[0] > 128;
            lit += on;
            below += on && (y > 20 + e4 || x < 9);
        }
    EXPECT_GT(lit, 20);
    EXPECT_EQ(below, 0);
    const int32_t fixed[4] = {1, 2, 3, 4};
    host::setTextExtentsForTests(fixed);
    hhml_CanvasContextGetStringExtents(ctx, "x", &e1, &e2, &e3, &e4, &err);
    host::setTextExtentsForTests(nullptr);
    EXPECT_EQ(e1 + e2 + e3 + e4, 10);
    hhml_CanvasContextDelete(ctx, nullptr);
    hhml_CanvasDelete(canvas, nullptr);
}

// The surface is where every call's pixels land: shown planes at an
// offset, clipped at the edges; overlapping copies within one canvas; a
// copy reaching past its source; fill colours rounded to bytes.
TEST(Canvas, SurfaceHoldsWhatEachCallDrew) {
    HErrorSlot err = nullptr;
    HCanvas *canvas = hhml_CanvasCreateOffScreenCopyVis(nullptr, 6, 4, &err);
    HCanvasContext *ctx = hhml_CanvasContextCreate(canvas, &err);
    ASSERT_NE(ctx, nullptr) << herr_Message(err);
    EXPECT_EQ(host::canvasRGB(canvas), std::vector<uint8_t>(6 * 4 * 3, 0)) << "a new canvas is black";

    Plane red(3, 3, 10), green(3, 3, 20), blue(3, 3, 30);
    hhml_CanvasShowRGBPixrect(ctx, &red.record, &green.record, &blue.record, 0, 0, 0, 0, 3, 3, -1,
                              2, &err);
    EXPECT_EQ(err, nullptr) << herr_Message(err);
    // Plane pixel (row 0, column 1) lands at (0, 2); rows past the bottom
    // and columns left of the canvas are dropped.
    EXPECT_EQ(host::canvasPixel(canvas, 0, 2), (std::array<uint8_t, 3>{11, 21, 31}));
    EXPECT_EQ(host::canvasPixel(canvas, 1, 3), (std::array<uint8_t, 3>{15, 25, 35}));
    EXPECT_EQ(host::canvasPixel(canvas, 2, 2), (std::array<uint8_t, 3>{0, 0, 0}));
    const std::vector<uint8_t> rgb = host::canvasRGB(canvas);
    ASSERT_EQ(rgb.size(), 6u * 4 * 3);
    EXPECT_EQ((std::vector<uint8_t>(rgb.begin() + (3 * 6 + 1) * 3, rgb.begin() + (3 * 6 + 2) * 3)),
              (std::vector<uint8_t>{15, 25, 35}))
        << "packed rows, row 0 first, three bytes a pixel";

    // Shift the two shown columns right by one within the same canvas.
    hhml_CanvasCopyArea(ctx, canvas, 0, 2, 2, 2, 1, 2, &err);
    EXPECT_EQ(host::canvasPixel(canvas, 1, 2), (std::array<uint8_t, 3>{11, 21, 31}));
    EXPECT_EQ(host::canvasPixel(canvas, 2, 2), (std::array<uint8_t, 3>{12, 22, 32}))
        << "read before overwritten";
    EXPECT_EQ(host::canvasPixel(canvas, 2, 3), (std::array<uint8_t, 3>{15, 25, 35}));
    EXPECT_EQ(host::canvasPixel(canvas, 0, 2), (std::array<uint8_t, 3>{11, 21, 31}));

    // Only the part inside the source is copied; the rest stays.
    HCanvas *small = hhml_CanvasCreateOffScreenCopyVis(nullptr, 2, 2, &err);
    HCanvasContext *smallCtx = hhml_CanvasContextCreate(small, &err);
    const HCanvasColor tiny{0, 0.002, 0.5, 1.0}, face{0, 0.85, 0.85, 0.85};
    hhml_CanvasDrawBevelRect(smallCtx, 0, 0, 0, 0, 2, 2, 0, &face, &tiny, &face, &err);
    EXPECT_EQ(host::canvasPixel(small, 1, 1), (std::array<uint8_t, 3>{1, 128, 255}))
        << "components round to the nearest byte";
    hhml_CanvasCopyArea(ctx, small, 1, 1, 3, 3, 4, 0, &err);
    EXPECT_EQ(host::canvasPixel(canvas, 4, 0), (std::array<uint8_t, 3>{1, 128, 255}));
    EXPECT_EQ(host::canvasPixel(canvas, 5, 0), (std::array<uint8_t, 3>{0, 0, 0}));
    EXPECT_EQ(host::canvasPixel(canvas, 4, 1), (std::array<uint8_t, 3>{0, 0, 0}));
    EXPECT_EQ(err, nullptr) << herr_Message(err);
    EXPECT_EQ(host::canvasPixel(canvas, 6, 0), (std::array<uint8_t, 3>{0, 0, 0})) << "outside";

    EXPECT_EQ(hhml_CanvasCreateOffScreenCopyVis(nullptr, 0, 4, &err), nullptr);
    EXPECT_NE(err, nullptr);
    hhml_CanvasDelete(small, nullptr);
    hhml_CanvasDelete(canvas, nullptr);
    hhml_CanvasContextDelete(smallCtx, nullptr);
    hhml_CanvasContextDelete(ctx, nullptr);
}

} // namespace
