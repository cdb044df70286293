#pragma once

#include <cstdio>
#include <fstream>
#include <ios>

// The one place where files are opened by path, so that every text and binary
// reader treats paths alike.

// Opens stream on path with mode; reports nothing itself (callers test the state).
// A null path leaves the stream failed.
void OpenStream(std::fstream& stream, const char* path, std::ios_base::openmode mode);

// fopen semantics: the open file, or null on failure (also for a null path or mode).
FILE* OpenFile(const char* path, const char* mode);
