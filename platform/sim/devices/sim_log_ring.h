// The simulated board's logs are the platform's bounded log.
#pragma once
#include <cstddef>

#include "platform/log_ring.h"

namespace plat {

template <typename T, size_t Capacity>
using SimLogRing = LogRing<T, Capacity>;

}  // namespace plat
