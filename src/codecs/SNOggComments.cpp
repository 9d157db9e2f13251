// SPDX-License-Identifier: MIT
#include "SNOggComments.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace Sonorix {

namespace {
template <class TItem>
const TClassDescription& DescribeCommentItem(const char* AClassName, const char* AUnit, const TStringSpec& ASecond,
                                             std::string (TItem::*AGet)() const,
                                             void (TItem::*ASet)(const std::string&))
{
    static const TClassDescription LDescription = [&] {
        TClassDescription LClass;
        LClass.ClassName = AClassName;
        LClass.Unit = AUnit;
        LClass.Properties = {
            DescribeProperty(TItem::NameProperty, &TItem::GetName, &TItem::SetName),
            DescribeProperty(ASecond, AGet, ASet),
        };
        return LClass;
    }();
    return LDescription;
}

std::string QualityText(double AQuality)
{
    // The general format with the digits a double needs to read back.
    char LText[32];
    for (int LDigits = 6; LDigits <= 17; ++LDigits) {
        std::snprintf(LText, sizeof LText, "%.*g", LDigits, AQuality);
        if (std::strtod(LText, nullptr) == AQuality)
            break;
    }
    return LText;
}
} // namespace

// --- TSNOggCommentItem -----------------------------------------------------------

TSNOggCommentItem::TSNOggCommentItem(TBasicLockCollection& ACollection)
    : TLockCollectionItem(ACollection), FName(NameProperty.Default), FText(TextProperty.Default)
{
}

const TClassDescription& TSNOggCommentItem::ClassDescription()
{
    return DescribeCommentItem<TSNOggCommentItem>("TSNOggCommentItem", "SNOggComments", TextProperty,
                                                  &TSNOggCommentItem::GetText, &TSNOggCommentItem::SetText);
}

std::string TSNOggCommentItem::GetName() const
{
    return GetLock().Getter(FName);
}

void TSNOggCommentItem::SetName(const std::string& AValue)
{
    GetLock().NotifySetter(FName, AValue);
}

std::string TSNOggCommentItem::GetText() const
{
    return GetLock().Getter(FText);
}

void TSNOggCommentItem::SetText(const std::string& AValue)
{
    GetLock().NotifySetter(FText, AValue);
}

void TSNOggCommentItems::Added(TSNOggCommentItem& AItem)
{
    // Called with the collection's lock held, after the item joined.
    AItem.FName = "Comment" + std::to_string(FItems.size());
}

void TSNOggCommentItems::Assign(const TSNOggCommentItems& ASource)
{
    if (&ASource == this)
        return;
    const auto LPairs = ASource.GetPairs();
    Clear();
    for (const auto& [LName, LText] : LPairs) {
        TSNOggCommentItem& LItem = Add();
        LItem.SetName(LName);
        LItem.SetText(LText);
    }
}

std::vector<std::pair<std::string, std::string>> TSNOggCommentItems::GetPairs() const
{
    TLockAccess LAccess = FLock.ReadLock();
    std::vector<std::pair<std::string, std::string>> LPairs;
    LPairs.reserve(FItems.size());
    for (const auto& LItem : FItems)
        LPairs.emplace_back(LItem->GetName(), LItem->GetText());
    return LPairs;
}

// --- TSNVorbisCommentItem --------------------------------------------------------

TSNVorbisCommentItem::TSNVorbisCommentItem(TBasicLockCollection& ACollection)
    : TLockCollectionItem(ACollection), FName(NameProperty.Default), FValue(ValueProperty.Default)
{
}

const TClassDescription& TSNVorbisCommentItem::ClassDescription()
{
    return DescribeCommentItem<TSNVorbisCommentItem>("TSNVorbisCommentItem", "SNVorbisComments", ValueProperty,
                                                     &TSNVorbisCommentItem::GetValue,
                                                     &TSNVorbisCommentItem::SetValue);
}

std::string TSNVorbisCommentItem::GetName() const
{
    return GetLock().Getter(FName);
}

void TSNVorbisCommentItem::SetName(const std::string& AValue)
{
    GetLock().NotifySetter(FName, AValue);
}

std::string TSNVorbisCommentItem::GetValue() const
{
    return GetLock().Getter(FValue);
}

void TSNVorbisCommentItem::SetValue(const std::string& AValue)
{
    GetLock().NotifySetter(FValue, AValue);
}

void TSNVorbisCommentItems::Added(TSNVorbisCommentItem& AItem)
{
    AItem.FName = "Comment" + std::to_string(FItems.size());
}

// --- Expansion -------------------------------------------------------------------

std::string PopulateComent(const std::string& AText, const WAVEFORMATEXTENSIBLE& AFormat, unsigned AChannels,
                           double AQuality)
{
    std::string LResult;
    for (size_t I = 0; I < AText.size(); ++I) {
        if (AText[I] != '%') {
            LResult += AText[I];
            continue;
        }
        if (++I == AText.size())
            break;
        switch (std::toupper(static_cast<unsigned char>(AText[I]))) {
        case 'C':
            LResult += std::to_string(AChannels);
            break;
        case 'R':
            LResult += std::to_string(AFormat.Format.nSamplesPerSec);
            break;
        case 'B':
            LResult += std::to_string(AFormat.Samples.wValidBitsPerSample);
            break;
        case 'Q':
            LResult += QualityText(AQuality);
            break;
        case '%':
            LResult += '%';
            break;
        default:
            break;
        }
    }
    return LResult;
}

} // namespace Sonorix
