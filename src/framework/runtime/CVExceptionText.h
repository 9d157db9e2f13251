// SPDX-License-Identifier: MIT
#pragma once

#include <exception>
#include <string>

namespace Sonorix {

// The message of the exception being handled; call only inside a catch block.
inline std::string DescribeCurrentException()
{
    try {
        throw;
    } catch (const std::exception& E) {
        return E.what();
    } catch (...) {
        return "unknown exception";
    }
}

} // namespace Sonorix
