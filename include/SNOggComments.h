// SPDX-License-Identifier: MIT
// Stream comments of the encoders (name/text pairs written into the comment
// header) and the expansion of "%" codes in their text.
#pragma once

#include "SNExport.h"

#include "CVCollection.h"
#include "SNTypes.h"

#include <string>
#include <utility>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

// One comment. A new item is named "Comment" + the collection's count.
class TSNOggCommentItem : public TLockCollectionItem {
public:
    static constexpr TStringSpec NameProperty{.Name = "Name", .Default = ""};
    static constexpr TStringSpec TextProperty{.Name = "Text", .Default = ""};

    explicit TSNOggCommentItem(TBasicLockCollection& ACollection);
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    std::string GetName() const;
    void SetName(const std::string& AValue);
    std::string GetText() const;
    void SetText(const std::string& AValue);
    std::string GetDisplayName() const { return GetName(); }

private:
    friend class TSNOggCommentItems;
    std::string FName;
    std::string FText;
};

// The Comments list of the encoders:
//
//   LEncoder.GetComments().Add().SetText("Rate %R Hz");   // Comment1
class TSNOggCommentItems : public TTypedCollection<TSNOggCommentItem> {
public:
    TSNOggCommentItems(TPersistent* AOwner, std::string AName) : TTypedCollection(AOwner, std::move(AName)) {}
    // Copies the items of ASource (names and texts).
    void Assign(const TSNOggCommentItems& ASource);
    // (name, text) of every item in order, read under the collection's lock.
    std::vector<std::pair<std::string, std::string>> GetPairs() const;

protected:
    void Added(TSNOggCommentItem& AItem) override;
};

// The second family of the same shape, with Value in place of Text.
class TSNVorbisCommentItem : public TLockCollectionItem {
public:
    static constexpr TStringSpec NameProperty{.Name = "Name", .Default = ""};
    static constexpr TStringSpec ValueProperty{.Name = "Value", .Default = ""};

    explicit TSNVorbisCommentItem(TBasicLockCollection& ACollection);
    static const TClassDescription& ClassDescription();
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }

    std::string GetName() const;
    void SetName(const std::string& AValue);
    std::string GetValue() const;
    void SetValue(const std::string& AValue);
    std::string GetDisplayName() const { return GetName(); }

private:
    friend class TSNVorbisCommentItems;
    std::string FName;
    std::string FValue;
};

class TSNVorbisCommentItems : public TTypedCollection<TSNVorbisCommentItem> {
public:
    TSNVorbisCommentItems(TPersistent* AOwner, std::string AName) : TTypedCollection(AOwner, std::move(AName)) {}

protected:
    void Added(TSNVorbisCommentItem& AItem) override;
};

// Expands the "%" codes of a comment text (case-insensitive): %C channel
// count (AChannels), %R sample rate, %B valid bits per sample, %Q the
// encoder's quality (AQuality, shortest general form: 0.1 gives "0.1"), %%
// a "%"; any other code character is dropped, and so is a trailing "%".
std::string PopulateComent(const std::string& AText, const WAVEFORMATEXTENSIBLE& AFormat, unsigned AChannels,
                           double AQuality);

SN_API_END
} // namespace Sonorix
