// The constant kernel table: one row per operation, one column per CpuKind.
#include "kernels/kernels.h"

namespace skarvel {

// Column 2 holds the reference set until the SSE set is built.
const KernelTableRows KernelTable = {
    {reference::AnalyzeD4, amd3dnow::AnalyzeD4, reference::AnalyzeD4},
    {reference::SynthesizeD4, amd3dnow::SynthesizeD4, reference::SynthesizeD4},
    {reference::ShrinkBand1, amd3dnow::ShrinkBand1, reference::ShrinkBand1},
    {reference::ShrinkBand4, amd3dnow::ShrinkBand4, reference::ShrinkBand4},
    {reference::ShrinkBand2, amd3dnow::ShrinkBand2, reference::ShrinkBand2},
    {reference::MarkEdges, amd3dnow::MarkEdges, reference::MarkEdges},
};

}  // namespace skarvel
