// SPDX-License-Identifier: MIT
// The loaded object (program or shared library) that holds an address.
#pragma once

namespace Sonorix {

// The file name the dynamic loader knows that object by: the path it was
// loaded from, or "" for the program itself; null when no object holds the
// address. Found from the objects' segments, without dladdr's scan of the
// object's symbol table (thousands of symbols for the package library).
const char* LoadedObjectFile(const void* AAddress);

} // namespace Sonorix
