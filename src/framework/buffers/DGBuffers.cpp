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

namespace {

// Doubles in a shared block: a block that arrived with a buffer operation.
class TDGBlockRealBuffer final : public IDGRealBuffer {
public:
    explicit TDGBlockRealBuffer(IDGBlockBufferPtr AData) : FData(std::move(AData)) {}
    uint32_t GetSize() const override
    {
        // Derived each time: the block's other owner may resize it.
        return static_cast<uint32_t>(std::min<size_t>(FData->GetSize() / sizeof(double), UINT32_MAX));
    }
    void Resize(uint32_t ACount) override { FData->Resize(size_t{ACount} * sizeof(double)); }
    const double* Read() const override { return static_cast<const double*>(FData->Read()); }
    double* Modify() override { return static_cast<double*>(FData->Modify()); }
    double GetItem(uint32_t AIndex) const override
    {
        CheckIndex(AIndex);
        return Read()[AIndex];
    }
    void SetItem(uint32_t AIndex, double AValue) override
    {
        CheckIndex(AIndex);
        Modify()[AIndex] = AValue;
    }
    void Zero() override { std::fill_n(Modify(), GetSize(), 0.0); }

private:
    void CheckIndex(uint32_t AIndex) const
    {
        if (AIndex >= GetSize())
            throw std::out_of_range("real buffer: index " + std::to_string(AIndex) + " of " +
                                    std::to_string(GetSize()));
    }
    IDGBlockBufferPtr FData;
};

} // namespace

IDGRealBufferPtr TDGRealBuffer::CreateUniversal(IDGBlockBufferPtr AData)
{
    if (!AData)
        throw std::invalid_argument("TDGRealBuffer::CreateUniversal: no data block");
    return std::make_shared<TDGBlockRealBuffer>(std::move(AData));
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
