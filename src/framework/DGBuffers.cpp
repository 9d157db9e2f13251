// SPDX-License-Identifier: MIT
#include "DGBuffers.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace Sonorix {

IDGBlockBufferPtr TDGBlockBuffer::CreateSize(size_t ABytes)
{
    return std::make_shared<TDGBlockBuffer>(TPrivate{}, ABytes);
}

TDGBlockBuffer::TDGBlockBuffer(TPrivate, size_t ABytes) : FData(ABytes) {}

size_t TDGBlockBuffer::GetSize() const
{
    return FData.size();
}

void TDGBlockBuffer::Resize(size_t ABytes)
{
    FData.resize(ABytes);
}

const void* TDGBlockBuffer::Read() const
{
    return FData.data();
}

void* TDGBlockBuffer::Write()
{
    return FData.data();
}

void* TDGBlockBuffer::Modify()
{
    return FData.data();
}

IDGRealBufferPtr TDGRealBuffer::CreateSize(uint32_t ACount)
{
    return std::make_shared<TDGRealBuffer>(TPrivate{}, ACount);
}

IDGRealBufferPtr TDGRealBuffer::CreateCopy(const IDGRealBuffer& ASource)
{
    auto LCopy = std::make_shared<TDGRealBuffer>(TPrivate{}, ASource.GetSize());
    std::copy_n(ASource.Read(), ASource.GetSize(), LCopy->FData.data());
    return LCopy;
}

TDGRealBuffer::TDGRealBuffer(TPrivate, uint32_t ACount) : FData(ACount, 0.0) {}

uint32_t TDGRealBuffer::GetSize() const
{
    return static_cast<uint32_t>(FData.size());
}

void TDGRealBuffer::Resize(uint32_t ACount)
{
    FData.resize(ACount, 0.0);
}

const double* TDGRealBuffer::Read() const
{
    return FData.data();
}

double* TDGRealBuffer::Modify()
{
    return FData.data();
}

void TDGRealBuffer::CheckIndex(uint32_t AIndex) const
{
    if (AIndex >= FData.size())
        throw std::out_of_range("index " + std::to_string(AIndex) + " is outside a real buffer of " +
                                std::to_string(FData.size()) + " values");
}

double TDGRealBuffer::GetItem(uint32_t AIndex) const
{
    CheckIndex(AIndex);
    return FData[AIndex];
}

void TDGRealBuffer::SetItem(uint32_t AIndex, double AValue)
{
    CheckIndex(AIndex);
    FData[AIndex] = AValue;
}

void TDGRealBuffer::Zero()
{
    std::fill(FData.begin(), FData.end(), 0.0);
}

} // namespace Sonorix
