// SPDX-License-Identifier: MIT
// Nothing of its own: the layer-check modules (CMakeLists.txt) link one layer
// whole and must resolve every symbol from the layers below it.
