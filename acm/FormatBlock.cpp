#include "acm/FormatBlock.h"

#include <algorithm>
#include <iterator>

void SetSourceFormat(TWaveFormatBlock& block, const WAVEFORMATEX& format, const std::vector<uint8_t>& extra)
{
    block.Format = format;
    const size_t kept = std::min(extra.size(), sizeof block.Extra);
    std::fill(std::copy_n(extra.begin(), kept, block.Extra), std::end(block.Extra), uint8_t(0));
}
