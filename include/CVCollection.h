// SPDX-License-Identifier: MIT
// Owned, ordered collections of lockable items with published properties.
//
// A TTypedCollection owns its items; each item is a TLockCollectionItem that
// knows its collection and reads and writes its fields under the
// collection's change-notifying lock, so that a reader holding that lock sees
// every item stand still. Owners that must keep something in step with the
// items (pins, designs) override the hooks Added, Removing and Moved, which
// run with the collection's lock held.
//
//   class TMyItems : public TTypedCollection<TMyItem> { ... };
//   LItems.SetCount(3);            // three items with their defaults
//   LItems[1].SetFrequency(440);
//   LItems[2].SetIndex(0);         // moves the item to the front
#pragma once

#include "SNExport.h"

#include "CVLocks.h"
#include "CVPersistent.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

class TLockCollectionItem;

// What items see of their collection, whatever its item class.
class TBasicLockCollection : public TCollection {
public:
    TBasicLockCollection(TPersistent* AOwner, std::string AName) : FOwner(AOwner), FName(std::move(AName)) {}

    TPersistent* GetOwner() const { return FOwner; }
    const std::string& GetName() const { return FName; }
    // Guards the item list and every item's fields.
    TBasicLockChangeNotifyLock& GetLock() const { return FLock; }

    // -1 when the item is not in the collection.
    virtual int IndexOf(const TLockCollectionItem* AItem) const = 0;
    // Moves the item at ACurIndex to ANewIndex; the items between shift by one.
    virtual void Move(int ACurIndex, int ANewIndex) = 0;
    virtual void Delete(int AIndex) = 0;

protected:
    mutable TBasicLockChangeNotifyLock FLock;

private:
    TPersistent* FOwner;
    std::string FName;
};

class TLockCollectionItem : public TPersistent {
public:
    explicit TLockCollectionItem(TBasicLockCollection& ACollection) : FCollection(ACollection) {}
    TLockCollectionItem(const TLockCollectionItem&) = delete;
    TLockCollectionItem& operator=(const TLockCollectionItem&) = delete;

    TBasicLockCollection& GetCollection() const { return FCollection; }
    TBasicLockChangeNotifyLock& GetLock() const { return FCollection.GetLock(); }
    int GetIndex() const { return FCollection.IndexOf(this); }
    void SetIndex(int AIndex)
    {
        const int LCurrent = GetIndex();
        if (LCurrent >= 0 && LCurrent != AIndex)
            FCollection.Move(LCurrent, AIndex);
    }
    // "mix.Channels[2]".
    std::string GetDisplayPath() const override
    {
        std::string LPrefix = FCollection.GetOwner() ? FCollection.GetOwner()->GetDisplayPath() + "." : "";
        return LPrefix + FCollection.GetName() + "[" + std::to_string(GetIndex()) + "]";
    }

private:
    TBasicLockCollection& FCollection;
};

template <class TItem>
class TTypedCollection : public TBasicLockCollection {
public:
    using TBasicLockCollection::TBasicLockCollection;
    ~TTypedCollection() override = default;

    int GetCount() const override
    {
        TLockAccess LAccess = FLock.ReadLock();
        return static_cast<int>(FItems.size());
    }
    // Adds items at the end or deletes them from the end.
    void SetCount(int ACount) override
    {
        ACount = ACount < 0 ? 0 : ACount;
        while (GetCount() < ACount)
            Add();
        while (GetCount() > ACount)
            Delete(GetCount() - 1);
    }
    TPersistent* GetItem(int AIndex) override { return &Items(AIndex); }
    const TClassDescription& GetItemDescription() const override { return TItem::ClassDescription(); }

    // The item at AIndex; std::out_of_range beyond the count.
    TItem& Items(int AIndex) const
    {
        TLockAccess LAccess = FLock.ReadLock();
        if (AIndex < 0 || AIndex >= static_cast<int>(FItems.size()))
            throw std::out_of_range(GetName() + ": no item " + std::to_string(AIndex) + " (count " +
                                    std::to_string(FItems.size()) + ")");
        return *FItems[static_cast<size_t>(AIndex)];
    }
    TItem& operator[](int AIndex) const { return Items(AIndex); }

    // Appends a new item with its defaults.
    virtual TItem& Add()
    {
        TLockAccess LAccess = FLock.WriteLock();
        FItems.push_back(CreateItem());
        TItem& LItem = *FItems.back();
        Added(LItem);
        return LItem;
    }
    void Delete(int AIndex) override
    {
        std::unique_ptr<TItem> LItem;
        {
            TLockAccess LAccess = FLock.WriteLock();
            if (AIndex < 0 || AIndex >= static_cast<int>(FItems.size()))
                return;
            Removing(*FItems[static_cast<size_t>(AIndex)], AIndex);
            LItem = std::move(FItems[static_cast<size_t>(AIndex)]);
            FItems.erase(FItems.begin() + AIndex);
        }
    }
    void Clear()
    {
        while (GetCount() > 0)
            Delete(GetCount() - 1);
    }
    void Move(int ACurIndex, int ANewIndex) override
    {
        TLockAccess LAccess = FLock.WriteLock();
        const int LCount = static_cast<int>(FItems.size());
        if (ACurIndex < 0 || ACurIndex >= LCount || ACurIndex == ANewIndex)
            return;
        ANewIndex = ANewIndex < 0 ? 0 : (ANewIndex >= LCount ? LCount - 1 : ANewIndex);
        std::unique_ptr<TItem> LItem = std::move(FItems[static_cast<size_t>(ACurIndex)]);
        FItems.erase(FItems.begin() + ACurIndex);
        FItems.insert(FItems.begin() + ANewIndex, std::move(LItem));
        Moved(ACurIndex, ANewIndex);
    }
    int IndexOf(const TLockCollectionItem* AItem) const override
    {
        TLockAccess LAccess = FLock.ReadLock();
        for (size_t I = 0; I < FItems.size(); ++I)
            if (FItems[I].get() == AItem)
                return static_cast<int>(I);
        return -1;
    }

protected:
    virtual std::unique_ptr<TItem> CreateItem() { return std::make_unique<TItem>(*this); }
    // Hooks, each called with the collection's lock held: after an item
    // joined at the end, before an item leaves, after an item moved.
    virtual void Added(TItem& /*AItem*/) {}
    virtual void Removing(TItem& /*AItem*/, int /*AIndex*/) {}
    virtual void Moved(int /*ACurIndex*/, int /*ANewIndex*/) {}

    // Items in order; read with the lock held.
    std::vector<std::unique_ptr<TItem>> FItems;
};

SN_API_END
} // namespace Sonorix
