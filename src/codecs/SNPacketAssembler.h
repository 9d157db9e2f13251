// SPDX-License-Identifier: MIT
// Reassembles framed codec packets (28-byte header, then the data) from a
// byte stream cut into blocks anywhere: a packet may span blocks and a block
// may hold several packets.
#pragma once

#include "SNBasicCompressor.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace Sonorix {

// Header packets at the start of a logical stream, judged from its first
// packet: 3 for Vorbis, 2 (plus the extra headers it names) for Speex, else 1.
inline int HeaderPacketCount(const uint8_t* AData, int32_t ABytes)
{
    if (ABytes >= 7 && AData[0] == 1 && std::memcmp(AData + 1, "vorbis", 6) == 0)
        return 3;
    if (ABytes >= 80 && std::memcmp(AData, "Speex   ", 8) == 0) {
        int32_t LExtra;
        std::memcpy(&LExtra, AData + 76, 4);
        return 2 + (LExtra > 0 && LExtra < 16 ? LExtra : 0);
    }
    return 1;
}

class TSNPacketAssembler {
public:
    // Larger packets are refused: no codec of the package makes them, and a
    // damaged header must not make us allocate gigabytes.
    static constexpr int32_t MaxPacketBytes = 16 << 20;

    // Walks ABytes; calls AOnPacket(header, data) for every complete packet.
    // Returns false (and forgets the partial packet) at a header that claims
    // a negative or oversized length; AError then says why.
    template <class F>
    bool Feed(const uint8_t* ABytes, size_t ALength, F&& AOnPacket, std::string& AError)
    {
        while (ALength > 0) {
            if (FHeaderFill < sizeof(TSNCodecPacketHeader)) {
                const size_t LTake = std::min(sizeof(TSNCodecPacketHeader) - FHeaderFill, ALength);
                std::memcpy(FHeaderBytes + FHeaderFill, ABytes, LTake);
                FHeaderFill += LTake;
                ABytes += LTake;
                ALength -= LTake;
                if (FHeaderFill < sizeof(TSNCodecPacketHeader))
                    return true;
                std::memcpy(&FHeader, FHeaderBytes, sizeof(FHeader));
                if (FHeader.bytes < 0 || FHeader.bytes > MaxPacketBytes) {
                    AError = "packet header claims " + std::to_string(FHeader.bytes) + " bytes (at most " +
                             std::to_string(MaxPacketBytes) + ")";
                    Reset();
                    return false;
                }
                FData.clear();
            }
            const size_t LTake = std::min(static_cast<size_t>(FHeader.bytes) - FData.size(), ALength);
            FData.insert(FData.end(), ABytes, ABytes + LTake);
            ABytes += LTake;
            ALength -= LTake;
            if (FData.size() == static_cast<size_t>(FHeader.bytes)) {
                FHeaderFill = 0;
                AOnPacket(FHeader, FData.data());
            }
        }
        return true;
    }
    void Reset()
    {
        FHeaderFill = 0;
        FData.clear();
    }

private:
    uint8_t FHeaderBytes[sizeof(TSNCodecPacketHeader)]{};
    size_t FHeaderFill = 0;
    TSNCodecPacketHeader FHeader;
    std::vector<uint8_t> FData;
};

} // namespace Sonorix
