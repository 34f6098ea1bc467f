// ryftp's command-line reader on any input: lines are cut at the limit and flagged, a
// line it passes holds no control byte, and splitting it keeps only its own bytes.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>
#include "input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!in) return 0;
    InputLine line;
    std::vector<std::string> words;
    while (ReadLine(in, &line)) {
        if (line.text.size() > kMaxLine) abort();
        if (line.problem != InputLine::kNone) continue;
        for (unsigned char b : line.text)
            if ((b < 0x20 && b != '\t') || b == 0x7F) abort();
        SplitWords(line.text, &words);
        size_t bytes = 0;
        for (const std::string& w : words) {
            if (w.find('"') != std::string::npos) abort();
            bytes += w.size();
        }
        if (bytes > line.text.size()) abort();
    }
    fclose(in);
    return 0;
}
