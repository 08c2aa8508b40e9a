#include "files/layer_file.h"

#include <cstdio>
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
// in its middle. Adds the characters consumed to *position. Returns false
// when no word could be read.
bool readWord(HFile *file, char *word, long *position)
{
    word[0] = '\0';
    int consumed = 0;
    if (hfio_Fscanf(file, "%99s%n", word, &consumed) != 1)
        return false;
    *position += consumed;
    if (std::strlen(word) == CLOUD_FILE_WORD_BUFFER - 1) {
        // The scan set is %s's own notion of a word: up to white space.
        char rest[CLOUD_FILE_WORD_BUFFER];
        while (hfio_Fscanf(file, "%99[^ \t\n\v\f\r]%n", rest, &consumed) == 1)
            *position += consumed;
    }
    return true;
}

// What the reader has met so far, for its warnings. Reading itself is the
// plain formatted reading it always was; this only watches it.
struct ReadState {
    HFile *file;
    const char *fileName;
    long position = 0;     // characters consumed, exact until the first damage
    bool ended = false;    // a read met the end of the file
    bool damaged = false;  // a value did not convert
    bool quiet = false;    // damage is noted but not reported
};

int scanValue(HFile *file, float *v, int *n) { return hfio_Fscanf(file, "%f%n", v, n); }
int scanValue(HFile *file, double *v, int *n) { return hfio_Fscanf(file, "%lf%n", v, n); }
int scanValue(HFile *file, int32_t *v, int *n) { return hfio_Fscanf(file, "%d%n", v, n); }

// A short, printable quote of file text: control characters become '?'.
void printable(char *text, size_t keep)
{
    size_t n = std::strlen(text);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == ' ' || text[n - 1] == '\t'))
        text[--n] = '\0';
    if (n > keep)
        std::strcpy(text + keep, "...");
    for (char *c = text; *c; ++c)
        if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7f)
            *c = '?';
}

// The word that starts after `start` characters of the file (white space
// skipped), read through a handle of its own so that the reading in
// progress is not disturbed. Empty when it cannot be read.
void wordAt(const char *fileName, long start, char *word)
{
    word[0] = '\0';
    HErrorSlot err = nullptr;
    HFile *again = hfio_Open(fileName, "r", &err);
    if (!again)
        return;
    bool open = true;
    for (; start >= 4096 && open; start -= 4096)
        open = hfio_Fscanf(again, "%*4096c") != EOF;
    for (; start > 0 && open; --start)
        open = hfio_Fscanf(again, "%*c") != EOF;
    if (!open || hfio_Fscanf(again, "%99s", word) != 1)
        word[0] = '\0';
    hfio_Close(again, &err);
    printable(word, 60);
}

// Reports the first value that did not convert: which block, which field
// and the text found. Saving what was read would make the damage
// permanent, so the report says the data are damaged (HERR_DAMAGED).
void noteDamage(ReadState &r, long start, const char *block, const char *field)
{
    if (r.damaged)
        return;
    r.damaged = true;
    if (r.quiet)
        return;
    char text[CLOUD_FILE_WORD_BUFFER + 4];
    wordAt(r.fileName, start, text);
    HErrorSlot err = nullptr;
    herr_SetCode(&err, HERR_DAMAGED, "%s: %s%s%s \"%s\" is not a number; the values after it may be wrong",
                 r.fileName, block ? block : "", block ? ": " : "", field, text);
    hvis_ProcessErrorReport(&err);
}

// One field: a conversion of its own. False when it did not convert, which
// ends its line. A number must end at white space: "3OOOO.0" converts its
// "3" and leaves the rest to the next field, a typo all the same.
template <typename T>
bool readField(ReadState &r, T *value, const char *block, const char *field)
{
    const long start = r.position;
    int consumed = 0;
    const int converted = scanValue(r.file, value, &consumed);
    if (converted == EOF) {
        r.ended = true;
        return false;
    }
    if (converted != 1) {
        noteDamage(r, start, block, field);
        return false;
    }
    r.position += consumed;
    if (!r.damaged) {
        // Taking one blank is harmless: every later read skips blanks.
        int blank = 0;
        const int next = hfio_Fscanf(r.file, "%*1[ \t\n\v\f\r]%n", &blank);
        if (blank == 1)
            r.position += 1;
        else if (next != EOF)
            noteDamage(r, start, block, field);
    }
    return true;
}

// One block after its name line: its five lines, field by field, a line
// stopping at its first field that does not convert; the next line is read
// from where that one stopped.
void readBlock(ReadState &r, CloudRecord &c, const char *block)
{
    readField(r, &c.density, block, "density") && readField(r, &c.cluster, block, "cluster") &&
        readField(r, &c.detail, block, "detail") && readField(r, &c.zoom, block, "zoom") &&
        readField(r, &c.height, block, "height");
    readField(r, &c.layers, block, "layers") && readField(r, &c.panx, block, "panx") &&
        readField(r, &c.pany, block, "pany") && readField(r, &c.texsize, block, "texsize") &&
        readField(r, &c.symmetric, block, "symmetric");
    readField(r, &c.xposition, block, "xposition") &&
        readField(r, &c.yposition, block, "yposition") &&
        readField(r, &c.zposition, block, "zposition") && readField(r, &c.xsize, block, "xsize") &&
        readField(r, &c.ysize, block, "ysize") && readField(r, &c.zsize, block, "zsize");
    readField(r, &c.xslice, block, "xslice") && readField(r, &c.yslice, block, "yslice") &&
        readField(r, &c.zslice, block, "zslice") && readField(r, &c.red, block, "red") &&
        readField(r, &c.green, block, "green") && readField(r, &c.blue, block, "blue");
    readField(r, &c.seed, block, "seed") && readField(r, &c.bottomscale, block, "bottomscale");
}

// The first line that is not blank, quoted for a warning.
void firstLine(const char *fileName, char *line)
{
    line[0] = '\0';
    HErrorSlot err = nullptr;
    HFile *again = hfio_Open(fileName, "r", &err);
    if (!again)
        return;
    if (hfio_Fscanf(again, " %99[^\n]", line) != 1)
        line[0] = '\0';
    hfio_Close(again, &err);
    printable(line, 60);
}

// A file that is not a layer file, or that ends before its declared
// clouds, is still read as it always was (writers may rely on it); one
// warning says so.
void reportShape(const ReadState &r, bool foreign, int32_t declared, int32_t made, int32_t whole)
{
    HErrorSlot err = nullptr;
    if (foreign) {
        char line[CLOUD_FILE_WORD_BUFFER + 4];
        firstLine(r.fileName, line);
        if (line[0])
            herr_SetCode(&err, HERR_GENERIC,
                         "%s: not a layer file (first line \"%s\"); read as version 1.1, %d cloud%s",
                         r.fileName, line, made, made == 1 ? "" : "s");
        else
            herr_SetCode(&err, HERR_GENERIC,
                         "%s: not a layer file (it is empty); read as version 1.1, 0 clouds",
                         r.fileName);
    } else if (r.ended && whole < made) {
        herr_SetCode(&err, HERR_GENERIC,
                     "%s: ends after %d of %d declared clouds; read as %d cloud%s, the rest at "
                     "their defaults",
                     r.fileName, whole, declared, made, made == 1 ? "" : "s");
    }
    if (err)
        hvis_ProcessErrorReport(&err);
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

    ReadState r{file, fileName};
    char word[CLOUD_FILE_WORD_BUFFER];
    readWord(file, word, &r.position);
    // Only the old magic is told apart; any other first word reads as V1.1.
    const bool v10 = std::strcmp(word, cloudFileMagicV10) == 0;
    const bool foreign = !v10 && std::strcmp(word, cloudFileMagicV11) != 0;

    // In a file that is not a layer file a count that does not read is no
    // news: the warning about the first line says enough.
    int32_t declared = 0;
    r.quiet = foreign;
    if (readField(r, &declared, nullptr, "cloud count"))
        readWord(file, word, &r.position);  // "clouds_in_file", not looked at
    else
        declared = 0;
    r.quiet = false;
    // A count far beyond any real layer is a damaged file; making that many
    // default clouds would bake millions of textures.
    const int32_t count = declared > cloudFileCloudLimit ? cloudFileCloudLimit : declared;

    // Each record is added to the list that starts at the last record's
    // link: an addition then costs the same however many clouds came before
    // (the list service finds the tail by walking from the head it is
    // given, which from the layer's head is quadratic in the count), and
    // the list keeps the file's order.
    CloudRecord **end = &head;
    int32_t made = 0, whole = count;  // whole: blocks read before the file ended
    int64_t budgetLeft = cloudFileTextureBudget;
    int32_t withoutTextures = 0;
    for (int32_t i = 0; i < count; ++i) {
        auto *c = static_cast<CloudRecord *>(hmsc_HeapMalloc(sizeof(CloudRecord)));
        if (!c)
            break;  // out of memory: keep what was read
        c->next = nullptr;
        cloudRecordSetDefaults(c);
        // The block's name; blocks count in file order.
        if (!readWord(file, word, &r.position))
            r.ended = true;
        readBlock(r, *c, word);
        if (r.ended && whole == count)
            whole = i;
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
    reportShape(r, foreign, declared, made, whole);
    if (withoutTextures > 0) {
        // Whole MiB for the real budget, KiB for the small ones of tests.
        const bool mib = cloudFileTextureBudget % (1ll << 20) == 0;
        HErrorSlot report = nullptr;
        herr_SetCode(&report, HERR_LIMIT,
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
