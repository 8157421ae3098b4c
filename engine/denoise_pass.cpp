// One pass of the denoiser: gather each line into floats, decompose it with
// edge marking, shrink the detail bands, rebuild, average the shifted copies
// and write the samples back before the next line is gathered.
#include "engine/denoise_pass.h"

#include <cstring>

#include "engine/engine_internal.h"
#include "host/channel.h"
#include "host/module_state.h"
#include "kernels/kernels.h"

namespace skarvel {

namespace {

LineAccess LineOf(bool horizontal, const FrameInfo* frame, int32_t index, bool halveWidth) {
    if (horizontal) {
        return {frame->pixels + static_cast<ptrdiff_t>(index) * frame->pitch, halveWidth ? 2 : 1,
                halveWidth};
    }
    // Under half width the vertical pass visits the even columns only.
    return {frame->pixels + (halveWidth ? 2 * static_cast<ptrdiff_t>(index) : index), frame->pitch,
            false};
}

void GatherLine(const LineAccess& line, int32_t length, float* out) {
    YcPixel* pixel = line.first;
    if (line.pairs && AveragePairs) {
        for (int32_t j = 0; j < length; ++j, pixel += line.step) {
            // Arithmetic shift: the average rounds toward minus infinity.
            out[j] = static_cast<float>((int32_t{Chroma(pixel[0])} + Chroma(pixel[1])) >> 1);
        }
        return;
    }
    for (int32_t j = 0; j < length; ++j, pixel += line.step) out[j] = Chroma(*pixel);
}

void WriteBack(const LineAccess& line, int32_t length, int32_t paddedLength) {
    const float* s0 = LinePool.shift0Line;
    const float* s1 = LinePool.shift1Line;
    const float* s2 = LinePool.shift2Line;
    const float* s3 = LinePool.shift3Line;
    const int32_t mask = paddedLength - 1;  // shifted copies come back modulo P
    YcPixel* pixel = line.first;
    for (int32_t k = 0; k < length; ++k, pixel += line.step) {
        double v;
        if (ShiftMode == 1) {
            v = (double(s0[k]) + s2[(k - 2) & mask]) * 0.5;
        } else if (ShiftMode == 2) {
            v = (double(s0[k]) + s1[(k - 1) & mask] + s2[(k - 2) & mask] + s3[(k - 3) & mask]) *
                0.25;
        } else {
            v = s0[k];
        }
        const int16_t sample = SampleFromValue(v);
        Chroma(pixel[0]) = sample;
        if (line.pairs) Chroma(pixel[1]) = sample;
    }
}

// The lines a mode transforms, in the order they are analysed and rebuilt.
int32_t ModeLines(float* lines[4]) {
    lines[0] = LinePool.shift0Line;
    switch (ShiftMode) {
        case 1:
            lines[1] = LinePool.shift2Line;
            return 2;
        case 2:
            lines[1] = LinePool.shift1Line;
            lines[2] = LinePool.shift2Line;
            lines[3] = LinePool.shift3Line;
            return 4;
        default:
            return 1;
    }
}

void MakeShiftedCopies(int32_t paddedLength) {
    const float* s0 = LinePool.shift0Line;
    auto rotate = [&](float* out, int32_t shift) {
        std::memcpy(out, s0 + shift, sizeof(float) * (paddedLength - shift));
        std::memcpy(out + paddedLength - shift, s0, sizeof(float) * shift);
    };
    if (ShiftMode == 1) {
        rotate(LinePool.shift2Line, 2);
    } else if (ShiftMode == 2) {
        rotate(LinePool.shift1Line, 1);
        rotate(LinePool.shift2Line, 2);
        rotate(LinePool.shift3Line, 3);
    }
}

void Decompose(int32_t cpuKind, float* const* lines, int32_t lineCount, int32_t paddedLength,
               int32_t levels, int32_t smallFrame) {
    const AnalyzeD4Function analyze = KernelTable.analyzeD4[cpuKind];
    const MarkEdgesFunction markEdges = KernelTable.markEdges[cpuKind];
    for (int32_t k = 1; k <= levels; ++k) {
        const int32_t n = paddedLength >> (k - 1);
        const int32_t m = n / 2;
        const float edge = EdgeThresholds[5 - smallFrame - (k - 1)];
        for (int32_t l = 0; l < lineCount; ++l) {
            std::memcpy(LinePool.scratchLine, lines[l], sizeof(float) * n);
            analyze(LinePool.scratchLine, static_cast<uint32_t>(n), lines[l]);
            markEdges(LinePool.edgeMask, m, lines[l], edge);
        }
    }
}

void Shrink(int32_t cpuKind, const float* thresholds, int32_t paddedLength) {
    float* s0 = LinePool.shift0Line;
    float* s1 = LinePool.shift1Line;
    float* s2 = LinePool.shift2Line;
    float* s3 = LinePool.shift3Line;
    const float* mask = LinePool.edgeMask;
    for (int band = 0; band < kBandCount; ++band) {
        const int32_t start = BandStart(band), end = BandEnd(band);
        // The finest band only when its threshold is above zero; never past the line.
        if (band == kBandCount - 1 && !(thresholds[band] > 0.0f)) break;
        if (end > paddedLength) break;
        const float t = thresholds[band];
        switch (ShiftMode) {
            case 0:
                KernelTable.shrinkBand1[cpuKind](s0, start, end, t, mask);
                break;
            case 1:
            case 3:  // the two phases of the odd-phase mode shrink jointly
                KernelTable.shrinkBand2[cpuKind](s0, s2, start, end, t, mask);
                break;
            case 2:
                KernelTable.shrinkBand4[cpuKind](s0, s1, s2, s3, start, end, t, mask);
                break;
        }
    }
}

void Reconstruct(int32_t cpuKind, float* const* lines, int32_t lineCount, int32_t paddedLength,
                 int32_t levels) {
    const SynthesizeD4Function synthesize = KernelTable.synthesizeD4[cpuKind];
    for (int32_t l = 0; l < lineCount; ++l) {
        float* x = lines[l];
        for (int32_t m = paddedLength >> levels; 2 * m <= paddedLength; m *= 2) {
            synthesize(x, x + m, m, LinePool.scratchLine);
            std::memcpy(x, LinePool.scratchLine, sizeof(float) * 2 * m);
        }
    }
}

}  // namespace

int32_t LevelsToDecompose(const float* thresholds, int32_t levelCount) {
    int32_t zeros = 0;
    while (zeros < levelCount - 1 && thresholds[zeros] == 0.0f) ++zeros;
    return levelCount - zeros;
}

void DenoisePass(bool horizontal, int32_t cpuKind, FrameInfo* frame, const float* thresholds,
                 int32_t levelCount, int32_t paddedLength, int32_t displayValue, bool halveWidth) {
    // Any other mode gathers and pads each line and then does nothing with
    // it, so the frame is left as it is.
    if (ShiftMode < 0 || ShiftMode > 3) return;

    const int32_t lineCount = horizontal ? frame->height : frame->width;
    const int32_t lineLength = horizontal ? frame->width : frame->height;
    if (lineCount <= 0) return;
    const int32_t smallFrame = frame->width <= 512 && frame->height <= 512 ? 1 : 0;
    const int32_t levels = LevelsToDecompose(thresholds, levelCount);

    float* lines[4];
    const int32_t modeLines = ModeLines(lines);
    for (int32_t i = 0; i < lineCount; ++i) {
        const LineAccess line = LineOf(horizontal, frame, i, halveWidth);
        GatherLine(line, lineLength, LinePool.shift0Line);
        std::memset(LinePool.shift0Line + lineLength, 0,
                    sizeof(float) * (paddedLength - lineLength));
        MakeShiftedCopies(paddedLength);
        for (int32_t k = 0; k < paddedLength; ++k) LinePool.edgeMask[k] = 1.0f;

        if (ShiftMode == 3) {
            DecomposeOddPhase(cpuKind, paddedLength, levels, smallFrame);
        } else {
            Decompose(cpuKind, lines, modeLines, paddedLength, levels, smallFrame);
        }
        Shrink(cpuKind, thresholds, paddedLength);

        if (displayValue != 0) {
            ShowCoefficients(horizontal, frame, i, paddedLength, displayValue, halveWidth);
            continue;
        }
        if (ShiftMode == 3) {
            ReconstructOddPhase(cpuKind, paddedLength, levels);
        } else {
            Reconstruct(cpuKind, lines, modeLines, paddedLength, levels);
        }
        WriteBack(line, lineLength, paddedLength);
    }
}

}  // namespace skarvel
