#pragma once

#include <algorithm>
#include <vector>

namespace bench {

// The middle of the samples (the mean of the two middle ones for an even
// count): one run slowed by another process on the machine does not move it.
inline double Median(std::vector<double> samples) {
    if (samples.empty()) return 0;
    const auto middle = samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 2);
    std::nth_element(samples.begin(), middle, samples.end());
    if (samples.size() % 2 != 0) return *middle;
    return (*middle + *std::max_element(samples.begin(), middle)) / 2;
}

}  // namespace bench
