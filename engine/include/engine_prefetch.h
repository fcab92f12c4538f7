// Not part of raylib: the engine's start-up prefetch.
//
// A program that knows which files it will load right after InitWindow can name them
// first; worker threads then read and decode them (WAV files read, PNG pixels, OBJ +
// MTL parsing, TrueType atlases) while the window and its GL context are being made. The
// matching Load* call later takes the decoded result on the calling thread, uploads it
// and logs exactly what it would have logged without the prefetch, at the same point:
// a missing or damaged file gives the same WARNING and the same empty result.
//
// Results wait for their Load* call until the first frame has been presented (or the
// window closes); after that every load reads its file afresh. A file that changed
// since it was decoded is read again as well. Several loads of one file share one
// decode. Prefetching is only ever an optimisation: a program that never calls these
// behaves the same, only slower to start.
#ifndef ENGINE_PREFETCH_H
#define ENGINE_PREFETCH_H

void PrefetchWave(const char *fileName);                // for LoadWave, LoadSound
void PrefetchImage(const char *fileName);               // for LoadImage, LoadTexture
void PrefetchModel(const char *fileName);               // for LoadModel
void PrefetchFont(const char *fileName, int fontSize);  // for LoadFontEx(fileName, fontSize, NULL, 0)

#endif  // ENGINE_PREFETCH_H
