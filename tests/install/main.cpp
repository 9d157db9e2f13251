// SPDX-License-Identifier: MIT
// Smallest program against an installed SonorixPkg: proves the headers,
// the library and the package files fit together.
#include <SNTypes.h>

#include <cstdio>

int main()
{
    const Sonorix::WAVEFORMATEXTENSIBLE format = Sonorix::MakeWaveFormat(48000, 16, 2);
    std::printf("block align %u\n", static_cast<unsigned>(format.Format.nBlockAlign));
    return format.Format.nBlockAlign == 4 ? 0 : 1;
}
