/* layer_file.h — the cloud layer file and the layer's scene-script line.
 *
 * A layer file is ASCII text holding only parameters: a magic line
 * ("TOLA_Cloud_Layer_File_V1.1"), a count line ("N clouds_in_file"), then
 * one block of six lines per cloud in list order:
 *
 *     Cloud_k
 *     density cluster detail zoom height           (%f, 32-bit floats)
 *     layers panx pany texsize symmetric           (%d)
 *     xposition yposition zposition xsize ysize zsize   (%lf, 64-bit)
 *     xslice yslice zslice red green blue          (%d %d %d %f %f %f)
 *     seed bottomscale                             (%lf %f)
 *
 * Every real value is written with six decimals. Version 1.1 is written;
 * 1.1 and 1.0 are read (1.0 stores the complement of cluster). Textures are
 * never stored: the reader seeds and bakes every cloud as it reads it, so
 * it needs the scene's GL context current.
 *
 * Reading is forgiving, as it always was: any first word other than the
 * V1.0 magic reads as V1.1, a field that does not convert keeps its default
 * (and the rest of its line with it), a file that declares more blocks than
 * it holds yields the declared number of clouds, the missing ones at their
 * defaults, and values are taken as read (baking and drawing make unusable
 * ones harmless). Limits: skipped words (magic, the word after the count,
 * block names) are kept to 99 characters, longer ones are read past whole;
 * at most CLOUD_FILE_MAX_CLOUDS clouds are made, whatever the file declares,
 * and their textures take at most CLOUD_LAYER_TEXTURE_BUDGET bytes;
 * a cloud record that cannot be allocated ends the read with the clouds
 * made so far.
 *
 * Reading never refuses a file, but damage does not pass in silence: the
 * first value that is present but does not convert is reported through
 * hvis_ProcessErrorReport with the file, the block's name as written, the
 * field and the text found, coded HERR_DAMAGED (saving what was read would
 * make the damage permanent); a file whose first word is neither magic,
 * and one that ends before its declared clouds, get one note each
 * (HERR_GENERIC). A file that cannot be opened is no news: that is how a
 * new layer starts.
 *
 * Typical values: a few to a few hundred clouds of 8 lines' worth of text;
 * opening bakes 20 textures of 32 × 32 per cloud.
 */
#ifndef CLOUDS_FILES_LAYER_FILE_H
#define CLOUDS_FILES_LAYER_FILE_H

#include <stdint.h>

#include "host_types.h"

struct CloudRecord;

/* Most clouds one read makes. A file that declares more is damaged (a real
 * layer holds a few hundred); every cloud costs 2 × layers textures, about
 * 80 KiB of GL memory at the defaults on llvmpipe, so the cap bounds what a
 * short file can make the reader allocate. */
enum { CLOUD_FILE_MAX_CLOUDS = 10000 };

/* Most GL texture memory the clouds of one read may take, counted by
 * cloudTexturesBytes: 1 GiB. 10,000 default clouds take 781 MiB and fit;
 * at the largest texture size (64 MiB a cloud) 16 clouds do. Clouds are
 * baked in file order while their textures fit: a cloud whose textures
 * would take the layer past the budget keeps none and draws nothing (its
 * box still shows in box mode), a later smaller one may still fit, and the
 * reader tells the user once, through the host's error report, how many
 * clouds went without. The parameters of every cloud are kept as read. */
#define CLOUD_LAYER_TEXTURE_BUDGET (1ll << 30)

/* The budget in force: CLOUD_LAYER_TEXTURE_BUDGET. Tests and fuzz targets
 * lower it to see it at work without baking a gigabyte. */
extern int64_t cloudFileTextureBudget;

/* The cap in force: CLOUD_FILE_MAX_CLOUDS. Tests and fuzz targets lower it
 * to see the cap at work without baking a hundred thousand clouds. */
extern int32_t cloudFileCloudLimit;

/* What the reader does with each cloud it made: seed its noise and bake its
 * textures (cloudFileSeedAndBake). The layer file's fuzz target bakes less,
 * so that its runs go to reading and writing; nothing else changes it. */
extern void (*cloudFileBake)(CloudRecord &cloud);
void cloudFileSeedAndBake(CloudRecord &cloud);

/* Skipped words are read into a buffer of this size (99 characters). */
enum { CLOUD_FILE_WORD_BUFFER = 100 };

extern const char *const cloudFileMagicV10; /* "TOLA_Cloud_Layer_File_V1.0" */
extern const char *const cloudFileMagicV11; /* "TOLA_Cloud_Layer_File_V1.1" */

/* Writes the list (clouds may be null) as a V1.1 file. Returns 0 when the
 * file cannot be opened, otherwise hfio_Close's result (nonzero: written
 * and in place; 0: not written, the old file left as it was). err, when
 * given, receives the host's error of a failed open or close. */
int32_t cloudFileWrite(CloudRecord *clouds, const char *fileName, HErrorSlot *err = nullptr);

/* Reads a V1.0 or V1.1 file into a new list, each cloud seeded and baked
 * within the texture budget (clouds beyond it are reported once, with the
 * file's name, through hvis_ProcessErrorReport). Null when the file cannot
 * be opened or declares no block. The caller owns
 * the records (hmsc_HeapFree) and their textures (cloudTexturesFree). */
CloudRecord *cloudFileRead(const char *fileName);

/* The layer's save entry: writes its clouds to its fileName. Returns the
 * writer's result; 0 without writing for a layer that has no file name. A
 * save that fails is reported through hvis_ProcessErrorReport and leaves
 * dirty set; only a save that succeeded clears it. */
int32_t cloudLayerSave(HLayer *hostLayer);

/* The layer's scene-script entry: saves the layer, then prints
 *     \tADDFEATURELAYER "Clouds" "arg1" ... ;\n
 * to stream, each argument in quotes followed by one blank, unescaped. */
void cloudLayerWriteFeatureLine(HLayer *hostLayer, HFile *stream);

#endif
