// The constant kernel table: one row per operation, one column per CpuKind.
#include "kernels/kernels.h"

namespace skarvel {

// Columns 1 and 2 hold the reference set until the vector sets are built;
// CpuKind stays 0 meanwhile.
const KernelTableRows KernelTable = {
    {reference::AnalyzeD4, reference::AnalyzeD4, reference::AnalyzeD4},
    {reference::SynthesizeD4, reference::SynthesizeD4, reference::SynthesizeD4},
    {reference::ShrinkBand1, reference::ShrinkBand1, reference::ShrinkBand1},
    {reference::ShrinkBand4, reference::ShrinkBand4, reference::ShrinkBand4},
    {reference::ShrinkBand2, reference::ShrinkBand2, reference::ShrinkBand2},
    {reference::MarkEdges, reference::MarkEdges, reference::MarkEdges},
};

}  // namespace skarvel
