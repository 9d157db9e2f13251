// SPDX-License-Identifier: MIT
// Reference-counted scratch buffers: untyped bytes (IDGBlockBuffer) and a
// vector of doubles (IDGRealBuffer). Neither is synchronised; the owning
// component guards it with its own lock.
//
//   auto LBlock = Sonorix::TDGBlockBuffer::CreateSize(4096);
//   std::memcpy(LBlock->Write(), LPacket, 4096);
//   auto LLevels = Sonorix::TDGRealBuffer::CreateSize(2); LLevels->SetItem(0, 0.5);
#pragma once

#include "SNExport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

// Memory for what a stream makes per buffer (sample blocks, buffer objects,
// operations). Freed memory is kept for reuse in one pool that every thread
// shares, so at steady state a stream takes nothing from the heap: memory
// freed on the thread that consumed a buffer serves the thread that makes
// the next. Requests up to 128 bytes share one class; larger ones (up to
// 4 MB) are kept by exact size in a few classes. The pool keeps at most
// 32 MB and 512 pieces per class; what does not fit goes back to the heap.
void* DGPoolAllocate(size_t ABytes);
void DGPoolFree(void* AMemory, size_t ABytes) noexcept;
// Switched off, the pool passes every request to the heap and keeps nothing
// more (to measure what it saves, or to let a heap checker see each piece).
void DGPoolSetEnabled(bool AEnabled) noexcept;

// A standard allocator over the pool.
template <class T>
class TDGPoolAllocator {
public:
    using value_type = T;
    TDGPoolAllocator() noexcept = default;
    template <class U>
    TDGPoolAllocator(const TDGPoolAllocator<U>& /*AOther*/) noexcept {}
    T* allocate(size_t ACount)
    {
        static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__, "the pool aligns as operator new does");
        return static_cast<T*>(DGPoolAllocate(ACount * sizeof(T)));
    }
    void deallocate(T* AMemory, size_t ACount) noexcept { DGPoolFree(AMemory, ACount * sizeof(T)); }
    template <class U>
    bool operator==(const TDGPoolAllocator<U>& /*AOther*/) const noexcept
    {
        return true;
    }
};

// A zero-filled array of plain values in pooled memory that grows as a
// vector does (at least doubling), keeping its memory when it shrinks. A
// vector with TDGPoolAllocator constructs and destroys its values one by one;
// optimised builds drop those loops, but builds instrumented for coverage or
// sanitizers keep them, and there they took a fifth of a codec's time.
template <class T>
class TDGPoolArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    TDGPoolArray() noexcept = default;
    explicit TDGPoolArray(size_t ACount) { Resize(ACount); }

    size_t GetSize() const noexcept { return FSize; }
    T* Data() noexcept { return FData.get(); }
    const T* Data() const noexcept { return FData.get(); }
    T& operator[](size_t AIndex) noexcept { return FData[AIndex]; }
    const T& operator[](size_t AIndex) const noexcept { return FData[AIndex]; }

    // The leading values are kept; new ones are zero.
    void Resize(size_t ACount)
    {
        const size_t LCapacity = FData.get_deleter().Count;
        if (ACount > LCapacity) {
            constexpr size_t CLimit = SIZE_MAX / sizeof(T);
            if (ACount > CLimit)
                throw std::length_error("TDGPoolArray: " + std::to_string(ACount) + " values do not fit in memory");
            const size_t LNew = std::max(ACount, std::min(FSize, CLimit / 2) * 2);
            TStorage LData(static_cast<T*>(DGPoolAllocate(LNew * sizeof(T))), TFree{LNew});
            if (FSize > 0)
                std::memcpy(LData.get(), FData.get(), FSize * sizeof(T));
            FData = std::move(LData);
        }
        if (ACount > FSize)
            std::memset(FData.get() + FSize, 0, (ACount - FSize) * sizeof(T));
        FSize = ACount;
    }

private:
    struct TFree {
        size_t Count = 0;
        void operator()(T* AData) const noexcept { DGPoolFree(AData, Count * sizeof(T)); }
    };
    using TStorage = std::unique_ptr<T[], TFree>;
    TStorage FData;
    size_t FSize = 0;
};

// std::make_shared with the object and its count in pooled memory.
template <class T, class... TArgs>
std::shared_ptr<T> MakePooled(TArgs&&... AArgs)
{
    return std::allocate_shared<T>(TDGPoolAllocator<T>{}, std::forward<TArgs>(AArgs)...);
}

class IDGBlockBuffer;
using IDGBlockBufferPtr = std::shared_ptr<IDGBlockBuffer>;

// A block of untyped memory, aligned for any scalar type.
class IDGBlockBuffer {
public:
    virtual ~IDGBlockBuffer() = default;
    // Size in bytes.
    virtual size_t GetSize() const = 0;
    // New size in bytes; the leading bytes are kept, new bytes are zero. May
    // move the memory, so pointers taken before are invalid afterwards.
    virtual void Resize(size_t ABytes) = 0;
    virtual const void* Read() const = 0;
    // Write is for overwriting, Modify for read-modify-write; both give the
    // same memory (the block is never shared copy-on-write).
    virtual void* Write() = 0;
    virtual void* Modify() = 0;
};

class TDGBlockBuffer final : public IDGBlockBuffer {
    struct TPrivate {};

public:
    // ABytes zero bytes.
    static IDGBlockBufferPtr CreateSize(size_t ABytes);

    TDGBlockBuffer(TPrivate, size_t ABytes);
    size_t GetSize() const override;
    void Resize(size_t ABytes) override;
    const void* Read() const override;
    void* Write() override;
    void* Modify() override;

private:
    TDGPoolArray<uint8_t> FData;
};

class IDGRealBuffer;
using IDGRealBufferPtr = std::shared_ptr<IDGRealBuffer>;

// A vector of doubles (levels, spectra, display vectors).
class IDGRealBuffer {
public:
    virtual ~IDGRealBuffer() = default;
    // Number of values.
    virtual uint32_t GetSize() const = 0;
    // New count; the leading values are kept, new values are 0.
    virtual void Resize(uint32_t ACount) = 0;
    virtual const double* Read() const = 0;
    virtual double* Modify() = 0;
    // Throw std::out_of_range for AIndex >= GetSize().
    virtual double GetItem(uint32_t AIndex) const = 0;
    virtual void SetItem(uint32_t AIndex, double AValue) = 0;
    // Every value := 0.
    virtual void Zero() = 0;
};

class TDGRealBuffer final : public IDGRealBuffer {
    struct TPrivate {};

public:
    // ACount zero values.
    static IDGRealBufferPtr CreateSize(uint32_t ACount);
    // An independent copy of ASource's values.
    static IDGRealBufferPtr CreateCopy(const IDGRealBuffer& ASource);
    // The doubles held in a block (its size / 8 of them), without a copy:
    // the buffer shares the block.
    static IDGRealBufferPtr CreateUniversal(IDGBlockBufferPtr AData);

    TDGRealBuffer(TPrivate, uint32_t ACount);
    uint32_t GetSize() const override;
    void Resize(uint32_t ACount) override;
    const double* Read() const override;
    double* Modify() override;
    double GetItem(uint32_t AIndex) const override;
    void SetItem(uint32_t AIndex, double AValue) override;
    void Zero() override;

private:
    void CheckIndex(uint32_t AIndex) const;

    TDGPoolArray<double> FData;
};

SN_API_END
} // namespace Sonorix
