// SPDX-License-Identifier: MIT
#include "DGBuffers.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SN_POOL_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(SN_POOL_ASAN)
#include <sanitizer/asan_interface.h>
#define SN_POOL_POISON(AMemory, ABytes) ASAN_POISON_MEMORY_REGION(AMemory, ABytes)
#define SN_POOL_UNPOISON(AMemory, ABytes) ASAN_UNPOISON_MEMORY_REGION(AMemory, ABytes)
#else
#define SN_POOL_POISON(AMemory, ABytes) ((void)(AMemory), (void)(ABytes))
#define SN_POOL_UNPOISON(AMemory, ABytes) ((void)(AMemory), (void)(ABytes))
#endif

namespace Sonorix {

// --- Pool --------------------------------------------------------------------

namespace {

constexpr size_t CPoolChunk = 128;
constexpr size_t CPoolLargest = size_t{4} << 20;
constexpr size_t CPoolMaxBytes = size_t{32} << 20;
constexpr size_t CPoolClasses = 8;
constexpr size_t CPoolDepth = 512;

// Held for a few loads and stores only, so spinning beats sleeping.
class TPoolSpinLock {
public:
    void lock() noexcept
    {
        while (FLocked.exchange(true, std::memory_order_acquire))
            while (FLocked.load(std::memory_order_relaxed))
                std::this_thread::yield();
    }
    void unlock() noexcept { FLocked.store(false, std::memory_order_release); }

private:
    std::atomic<bool> FLocked{false};
};

// Free pieces of one size. Class 0 holds the small requests (CPoolChunk);
// an empty class among the others takes the next size that needs one, or
// else the class used longest ago gives its place up (LastUse).
struct TPoolClass {
    size_t Bytes;
    size_t Count;
    uint64_t LastUse;
    void* Items[CPoolDepth];
};

// Trivially destructible: a buffer released during static destruction still
// finds the pool.
struct TPool {
    TPoolSpinLock Lock;
    size_t KeptBytes;
    uint64_t Clock;
    TPoolClass Classes[CPoolClasses];
};

constinit TPool GPool{};
constinit std::atomic<bool> GPoolEnabled{true};

size_t PoolSize(size_t ABytes)
{
    return ABytes <= CPoolChunk ? CPoolChunk : ABytes;
}

// The class holding ABytes pieces, or nullptr; called with the lock held.
TPoolClass* FindClass(size_t ABytes)
{
    if (ABytes == CPoolChunk)
        return &GPool.Classes[0];
    for (size_t I = 1; I < CPoolClasses; ++I)
        if (GPool.Classes[I].Bytes == ABytes)
            return &GPool.Classes[I];
    return nullptr;
}

// Pieces taken out of the pool under its lock, to be deleted after it.
struct TPoolEvicted {
    size_t Bytes = 0;
    size_t Count = 0;
    void* Items[CPoolDepth];
};

// Empties the sized class used longest ago other than AKeep into AOut;
// false when there is none. Called with the lock held.
bool EvictOldest(const TPoolClass* AKeep, TPoolEvicted& AOut)
{
    TPoolClass* LOldest = nullptr;
    for (size_t I = 1; I < CPoolClasses; ++I) {
        TPoolClass& LClass = GPool.Classes[I];
        if (&LClass != AKeep && LClass.Count > 0 && (!LOldest || LClass.LastUse < LOldest->LastUse))
            LOldest = &LClass;
    }
    if (!LOldest || AOut.Count > 0)
        return false;
    std::copy_n(LOldest->Items, LOldest->Count, AOut.Items);
    AOut.Count = LOldest->Count;
    AOut.Bytes = LOldest->Bytes;
    GPool.KeptBytes -= LOldest->Count * LOldest->Bytes;
    LOldest->Count = 0;
    return true;
}

// The class that keeps ABytes pieces: its own, an empty one, or the one used
// longest ago, emptied into AOut. Called with the lock held.
TPoolClass* ClassFor(size_t ABytes, TPoolEvicted& AOut)
{
    if (TPoolClass* LClass = FindClass(ABytes))
        return LClass;
    for (size_t I = 1; I < CPoolClasses; ++I)
        if (GPool.Classes[I].Count == 0) {
            GPool.Classes[I].Bytes = ABytes;
            return &GPool.Classes[I];
        }
    if (!EvictOldest(nullptr, AOut))
        return nullptr;
    for (size_t I = 1; I < CPoolClasses; ++I)
        if (GPool.Classes[I].Count == 0) {
            GPool.Classes[I].Bytes = ABytes;
            return &GPool.Classes[I];
        }
    return nullptr;
}

} // namespace

void DGPoolSetEnabled(bool AEnabled) noexcept
{
    GPoolEnabled.store(AEnabled, std::memory_order_relaxed);
}

void* DGPoolAllocate(size_t ABytes)
{
    const size_t LBytes = PoolSize(ABytes);
    if (LBytes <= CPoolLargest && GPoolEnabled.load(std::memory_order_relaxed)) {
        void* LMemory = nullptr;
        {
            std::lock_guard LGuard(GPool.Lock);
            TPoolClass* LClass = FindClass(LBytes);
            if (LClass && LClass->Count > 0) {
                LMemory = LClass->Items[--LClass->Count];
                LClass->LastUse = ++GPool.Clock;
                GPool.KeptBytes -= LBytes;
            }
        }
        if (LMemory) {
            SN_POOL_UNPOISON(LMemory, LBytes);
            return LMemory;
        }
    }
    return ::operator new(LBytes);
}

void DGPoolFree(void* AMemory, size_t ABytes) noexcept
{
    if (!AMemory)
        return;
    const size_t LBytes = PoolSize(ABytes);
    if (LBytes <= CPoolLargest && GPoolEnabled.load(std::memory_order_relaxed)) {
        // Poisoned before it is listed: from then on another thread may take it.
        SN_POOL_POISON(AMemory, LBytes);
        // A change of working set (other buffer sizes) displaces the sizes
        // used longest ago, so a steady stream is served from the pool
        // whatever ran before it; what is displaced is deleted unlocked.
        TPoolEvicted LEvicted;
        bool LKept = false;
        {
            std::lock_guard LGuard(GPool.Lock);
            TPoolClass* LClass = ClassFor(LBytes, LEvicted);
            if (LClass && GPool.KeptBytes + LBytes > CPoolMaxBytes)
                EvictOldest(LClass, LEvicted);
            if (LClass && LClass->Count < CPoolDepth && GPool.KeptBytes + LBytes <= CPoolMaxBytes) {
                LClass->Items[LClass->Count++] = AMemory;
                LClass->LastUse = ++GPool.Clock;
                GPool.KeptBytes += LBytes;
                LKept = true;
            }
        }
        for (size_t I = 0; I < LEvicted.Count; ++I) {
            SN_POOL_UNPOISON(LEvicted.Items[I], LEvicted.Bytes);
            ::operator delete(LEvicted.Items[I]);
        }
        if (LKept)
            return;
        SN_POOL_UNPOISON(AMemory, LBytes);
    }
    ::operator delete(AMemory);
}

// --- Blocks ------------------------------------------------------------------

IDGBlockBufferPtr TDGBlockBuffer::CreateSize(size_t ABytes)
{
    return MakePooled<TDGBlockBuffer>(TPrivate{}, ABytes);
}

TDGBlockBuffer::TDGBlockBuffer(TPrivate, size_t ABytes) : FData(ABytes) {}

size_t TDGBlockBuffer::GetSize() const
{
    return FData.GetSize();
}

void TDGBlockBuffer::Resize(size_t ABytes)
{
    FData.Resize(ABytes);
}

const void* TDGBlockBuffer::Read() const
{
    return FData.Data();
}

void* TDGBlockBuffer::Write()
{
    return FData.Data();
}

void* TDGBlockBuffer::Modify()
{
    return FData.Data();
}

IDGRealBufferPtr TDGRealBuffer::CreateSize(uint32_t ACount)
{
    return MakePooled<TDGRealBuffer>(TPrivate{}, ACount);
}

IDGRealBufferPtr TDGRealBuffer::CreateCopy(const IDGRealBuffer& ASource)
{
    auto LCopy = MakePooled<TDGRealBuffer>(TPrivate{}, ASource.GetSize());
    std::copy_n(ASource.Read(), ASource.GetSize(), LCopy->FData.Data());
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
    return MakePooled<TDGBlockRealBuffer>(std::move(AData));
}

TDGRealBuffer::TDGRealBuffer(TPrivate, uint32_t ACount) : FData(ACount) {}

uint32_t TDGRealBuffer::GetSize() const
{
    return static_cast<uint32_t>(FData.GetSize());
}

void TDGRealBuffer::Resize(uint32_t ACount)
{
    FData.Resize(ACount);
}

const double* TDGRealBuffer::Read() const
{
    return FData.Data();
}

double* TDGRealBuffer::Modify()
{
    return FData.Data();
}

void TDGRealBuffer::CheckIndex(uint32_t AIndex) const
{
    if (AIndex >= FData.GetSize())
        throw std::out_of_range("index " + std::to_string(AIndex) + " is outside a real buffer of " +
                                std::to_string(FData.GetSize()) + " values");
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
    std::fill_n(FData.Data(), FData.GetSize(), 0.0);
}

} // namespace Sonorix
