// The constant kernel table: one row per operation, one column per CpuKind.
#include "kernels/kernels.h"

namespace skarvel {

const KernelTableRows KernelTable = {
    {reference::AnalyzeD4, amd3dnow::AnalyzeD4, sse::AnalyzeD4},
    {reference::SynthesizeD4, amd3dnow::SynthesizeD4, sse::SynthesizeD4},
    {reference::ShrinkBand1, amd3dnow::ShrinkBand1, sse::ShrinkBand1},
    {reference::ShrinkBand4, amd3dnow::ShrinkBand4, sse::ShrinkBand4},
    {reference::ShrinkBand2, amd3dnow::ShrinkBand2, sse::ShrinkBand2},
    {reference::MarkEdges, amd3dnow::MarkEdges, sse::MarkEdges},
};

}  // namespace skarvel
