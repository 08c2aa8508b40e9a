#include "files/layer_file.h"

#include <cstring>

#include "hlib.h"
#include "hvislib.h"
#include "plugin/entry.h"
#include "plugin/records.h"
#include "synth/noise.h"
#include "synth/slice_texture.h"

const char *const cloudFileMagicV10 = "TOLA_Cloud_Layer_File_V1.0";
const char *const cloudFileMagicV11 = "TOLA_Cloud_Layer_File_V1.1";

int32_t cloudFileCloudLimit = CLOUD_FILE_MAX_CLOUDS;
int64_t cloudFileTextureBudget = CLOUD_LAYER_TEXTURE_BUDGET;

void cloudFileSeedAndBake(CloudRecord &cloud)
{
    noiseTableBuild(cloud);
    cloudTexturesBuild(cloud);
}

void (*cloudFileBake)(CloudRecord &cloud) = cloudFileSeedAndBake;

namespace {

// Reads one word into word (CLOUD_FILE_WORD_BUFFER bytes): at most 99
// characters are kept, and the rest of a longer word is read past in
// chunks, so that the next conversion starts after the whole word and not
// in its middle. Returns false when no word could be read.
bool readWord(HFile *file, char *word)
{
    word[0] = '\0';
    if (hfio_Fscanf(file, "%99s", word) != 1)
        return false;
    if (std::strlen(word) == CLOUD_FILE_WORD_BUFFER - 1) {
        // The scan set is %s's own notion of a word: up to white space.
        char rest[CLOUD_FILE_WORD_BUFFER];
        while (hfio_Fscanf(file, "%99[^ \t\n\v\f\r]", rest) == 1) {
        }
    }
    return true;
}

// One block after its name line, each line one formatted read: a field
// that does not convert stops its line, and the next line's read starts
// where it stopped.
void readBlock(HFile *file, CloudRecord &c)
{
    hfio_Fscanf(file, "%f %f %f %f %f\n", &c.density, &c.cluster, &c.detail, &c.zoom,
                &c.height);
    hfio_Fscanf(file, "%d %d %d %d %d\n", &c.layers, &c.panx, &c.pany, &c.texsize,
                &c.symmetric);
    hfio_Fscanf(file, "%lf %lf %lf %lf %lf %lf\n", &c.xposition, &c.yposition, &c.zposition,
                &c.xsize, &c.ysize, &c.zsize);
    hfio_Fscanf(file, "%d %d %d %f %f %f\n", &c.xslice, &c.yslice, &c.zslice, &c.red, &c.green,
                &c.blue);
    hfio_Fscanf(file, "%lf %f\n", &c.seed, &c.bottomscale);
}

void writeBlock(HFile *file, int32_t k, const CloudRecord &c)
{
    hfio_Fprintf(file, "Cloud_%d\n", k);
    hfio_Fprintf(file, "%f %f %f %f %f\n", static_cast<double>(c.density),
                 static_cast<double>(c.cluster), static_cast<double>(c.detail),
                 static_cast<double>(c.zoom), static_cast<double>(c.height));
    hfio_Fprintf(file, "%d %d %d %d %d\n", c.layers, c.panx, c.pany, c.texsize, c.symmetric);
    hfio_Fprintf(file, "%lf %lf %lf %lf %lf %lf\n", c.xposition, c.yposition, c.zposition,
                 c.xsize, c.ysize, c.zsize);
    hfio_Fprintf(file, "%d %d %d %f %f %f\n", c.xslice, c.yslice, c.zslice,
                 static_cast<double>(c.red), static_cast<double>(c.green),
                 static_cast<double>(c.blue));
    hfio_Fprintf(file, "%lf %f\n", c.seed, static_cast<double>(c.bottomscale));
}

}  // namespace

int32_t cloudFileWrite(CloudRecord *clouds, const char *fileName, HErrorSlot *err)
{
    HErrorSlot local = nullptr;
    HErrorSlot *slot = err ? err : &local;
    *slot = nullptr;
    HFile *file = hfio_Open(fileName, "w", slot);
    if (!file)
        return 0;
    hfio_Fprintf(file, "%s\n", cloudFileMagicV11);
    hfio_Fprintf(file, "%d clouds_in_file\n", hvis_llmCount(&clouds));
    int32_t k = 0;
    for (const CloudRecord *c = clouds; c; c = c->next) {
        writeBlock(file, k, *c);
        ++k;
    }
    return hfio_Close(file, slot);
}

CloudRecord *cloudFileRead(const char *fileName)
{
    CloudRecord *head = nullptr;
    HErrorSlot err = nullptr;
    HFile *file = hfio_Open(fileName, "r", &err);
    if (!file)
        return nullptr;

    char word[CLOUD_FILE_WORD_BUFFER];
    readWord(file, word);
    // Only the old magic is told apart; any other first word reads as V1.1.
    const bool v10 = std::strcmp(word, cloudFileMagicV10) == 0;

    int32_t declared = 0;
    if (hfio_Fscanf(file, "%d", &declared) == 1)
        readWord(file, word);  // "clouds_in_file", not looked at
    else
        declared = 0;
    // A count far beyond any real layer is a damaged file; making that many
    // default clouds would bake millions of textures.
    const int32_t count = declared > cloudFileCloudLimit ? cloudFileCloudLimit : declared;

    // Each record is added to the list that starts at the last record's
    // link: an addition then costs the same however many clouds came before
    // (the list service finds the tail by walking from the head it is
    // given, which from the layer's head is quadratic in the count), and
    // the list keeps the file's order.
    CloudRecord **end = &head;
    int64_t budgetLeft = cloudFileTextureBudget;
    int32_t made = 0, withoutTextures = 0;
    for (int32_t i = 0; i < count; ++i) {
        auto *c = static_cast<CloudRecord *>(hmsc_HeapMalloc(sizeof(CloudRecord)));
        if (!c)
            break;  // out of memory: keep what was read
        c->next = nullptr;
        cloudRecordSetDefaults(c);
        readWord(file, word);  // the block's name; blocks count in file order
        readBlock(file, *c);
        c->symmetric = 1;
        if (v10)
            c->cluster = 1.0f - c->cluster;
        hvis_llmAdd(end, c, 3, 0);
        end = &c->next;
        ++made;
        // A long file of large clouds would otherwise take all the GL memory
        // there is; past the budget a cloud keeps its parameters only (and
        // its noise is loaded all the same, so that the table is the last
        // cloud's when the read ends).
        const int64_t bytes = cloudTexturesBytes(*c);
        if (bytes <= budgetLeft) {
            cloudFileBake(*c);
            budgetLeft -= bytes;
        } else {
            noiseTableBuild(*c);
            ++withoutTextures;
        }
    }

    hfio_Close(file, &err);
    if (withoutTextures > 0) {
        // Whole MiB for the real budget, KiB for the small ones of tests.
        const bool mib = cloudFileTextureBudget % (1ll << 20) == 0;
        HErrorSlot report = nullptr;
        herr_Set(&report,
                 "%s: %d of %d clouds are not drawn: their textures would take the layer "
                 "past its texture memory budget of %lld %s",
                 fileName, withoutTextures, made,
                 static_cast<long long>(cloudFileTextureBudget >> (mib ? 20 : 10)),
                 mib ? "MiB" : "KiB");
        hvis_ProcessErrorReport(&report);
    }
    return head;
}

int32_t cloudLayerSave(HLayer *hostLayer)
{
    CloudLayer *layer = static_cast<CloudLayer *>(hostLayer->instance);
    // A layer created without a file has nowhere to go: the host's open
    // refuses the missing name, the user is told, and the layer stays
    // unsaved.
    HErrorSlot err = nullptr;
    const int32_t result = cloudFileWrite(layer->clouds, layer->fileName, &err);
    if (result)
        layer->dirty = 0;
    else if (err)
        hvis_ProcessErrorReport(&err);
    return result;
}

void cloudLayerWriteFeatureLine(HLayer *hostLayer, HFile *stream)
{
    const CloudLayer *layer = static_cast<const CloudLayer *>(hostLayer->instance);
    // The save clears dirty when it succeeded; a failed one is reported and
    // keeps the changes marked.
    cloudLayerSave(hostLayer);
    hfio_Fprintf(stream, "\tADDFEATURELAYER \"%s\" ", cloudtlLayerGetTypeName());
    for (int32_t i = 0; i < layer->argCount; ++i)
        hfio_Fprintf(stream, "\"%s\" ", layer->args[i] ? layer->args[i] : "");
    hfio_Fprintf(stream, ";\n");
}
