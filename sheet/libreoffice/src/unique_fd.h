// A file descriptor with one owner, closed when the owner goes.
#pragma once

#include <unistd.h>

#include "veltrano/core/owned.h"

namespace veltrano::sheet {

struct CloseFd {
    void operator()(int fd) const noexcept { ::close(fd); }
};

using UniqueFd = core::Owned<int, CloseFd, -1>;

}  // namespace veltrano::sheet
