// SPDX-License-Identifier: MIT
#include "SNGraphicEqualizer.h"

#include "CVRegistry.h"
#include "DGBasicDispatcher.h"
#include "SNCatalogue.h"

#include <cmath>
#include <utility>

namespace Sonorix {

// --- TSNGraphicEqualizerChannelItem ------------------------------------------------

const TClassDescription& TSNGraphicEqualizerChannelItem::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNGraphicEqualizerChannelItem;
        TClassDescription LClass;
        LClass.ClassName = "TSNGraphicEqualizerChannelItem";
        LClass.Unit = "SNGraphicEqualizer";
        LClass.AutoInitPropertyFields = true;
        LClass.Properties = {
            DescribeProperty(CoefficientProperty, &C::GetCoefficient, &C::SetCoefficient),
            DescribeProperty(FrequencyProperty, &C::GetFrequency, &C::SetFrequency),
            DescribeProperty(EnabledProperty, &C::GetEnabled, &C::SetEnabled),
        };
        return LClass;
    }();
    return LDescription;
}

double TSNGraphicEqualizerChannelItem::GetCoefficient() const
{
    return GetLock().Getter(FCoefficient);
}

void TSNGraphicEqualizerChannelItem::SetCoefficient(double AValue)
{
    GetLock().NotifySetter(FCoefficient, AValue, [this] { Changed(); });
}

double TSNGraphicEqualizerChannelItem::GetFrequency() const
{
    return GetLock().Getter(FFrequency);
}

void TSNGraphicEqualizerChannelItem::SetFrequency(double AValue)
{
    GetLock().NotifySetter(FFrequency, AValue, [this] { Changed(); });
}

double TSNGraphicEqualizerChannelItem::GetFrequencyDefault() const
{
    return GetLock().Getter(FFrequency_Default);
}

bool TSNGraphicEqualizerChannelItem::GetFrequency_Stored() const
{
    TLockAccess LAccess = GetLock().ReadLock();
    return FFrequency != FFrequency_Default;
}

bool TSNGraphicEqualizerChannelItem::GetEnabled() const
{
    return GetLock().Getter(FEnabled);
}

void TSNGraphicEqualizerChannelItem::SetEnabled(bool AValue)
{
    GetLock().NotifySetter(FEnabled, AValue, [this] { Changed(); });
}

void TSNGraphicEqualizerChannelItem::Changed()
{
    static_cast<TSNGraphicEqualizerChannels&>(GetCollection()).FOwner.Recalc();
}

// --- TSNGraphicEqualizerChannels ---------------------------------------------------

TSNGraphicEqualizerChannels::TSNGraphicEqualizerChannels(TSNGraphicEqualizer& AOwner)
    : TTypedCollection(&AOwner, "Channels"), FOwner(AOwner)
{
}

// The re-design is asked for after the collection's lock is released: the
// processing side reads the bands with the filter's lock held.
TSNGraphicEqualizerChannelItem& TSNGraphicEqualizerChannels::Add()
{
    TSNGraphicEqualizerChannelItem& LItem = TTypedCollection::Add();
    FOwner.Recalc();
    return LItem;
}

void TSNGraphicEqualizerChannels::Delete(int AIndex)
{
    TTypedCollection::Delete(AIndex);
    FOwner.Recalc();
}

void TSNGraphicEqualizerChannels::Move(int ACurIndex, int ANewIndex)
{
    TTypedCollection::Move(ACurIndex, ANewIndex);
    FOwner.Recalc();
}

void TSNGraphicEqualizerChannels::Added(TSNGraphicEqualizerChannelItem& AItem)
{
    // Called with the lock held; AItem is the last item.
    const size_t LCount = FItems.size();
    const double LFrequency = LCount < 2 ? TSNGraphicEqualizerChannelItem::FrequencyProperty.Default
                                         : 2.0 * FItems[LCount - 2]->FFrequency;
    AItem.FFrequency = LFrequency;
    AItem.FFrequency_Default = LFrequency;
}

int TSNGraphicEqualizerChannels::ActiveCount() const
{
    TLockAccess LAccess = FLock.ReadLock();
    int LCount = 0;
    for (const auto& LItem : FItems)
        LCount += LItem->FEnabled ? 1 : 0;
    return LCount;
}

void TSNGraphicEqualizerChannels::Assign(const TSNGraphicEqualizerChannels& ASource)
{
    if (&ASource == this)
        return;
    struct TBand {
        double Coefficient, Frequency, FrequencyDefault;
        bool Enabled;
    };
    std::vector<TBand> LBands;
    {
        TLockAccess LAccess = ASource.FLock.ReadLock();
        for (const auto& LItem : ASource.FItems)
            LBands.push_back({LItem->FCoefficient, LItem->FFrequency, LItem->FFrequency_Default, LItem->FEnabled});
    }
    {
        TLockAccess LAccess = FLock.WriteLock();
        while (FItems.size() > LBands.size())
            FItems.pop_back();
        while (FItems.size() < LBands.size())
            FItems.push_back(CreateItem());
        for (size_t i = 0; i < LBands.size(); ++i) {
            FItems[i]->FCoefficient = LBands[i].Coefficient;
            FItems[i]->FFrequency = LBands[i].Frequency;
            FItems[i]->FFrequency_Default = LBands[i].FrequencyDefault;
            FItems[i]->FEnabled = LBands[i].Enabled;
        }
    }
    FOwner.Recalc();
}

// --- TSNGraphicEqualizer -------------------------------------------------------

TSNGraphicEqualizer::TSNGraphicEqualizer() : FChannels(*this) {}

TSNGraphicEqualizer::~TSNGraphicEqualizer() = default;

const TClassDescription& TSNGraphicEqualizer::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        using C = TSNGraphicEqualizer;
        TClassDescription LClass;
        ApplyCatalogue(LClass, "TSNGraphicEqualizer");
        // Not TSNSimpleFilter's rows: the equalizer has no filter kind.
        LClass.Parent = &TSNCommonFilter::ClassDescription();
        LClass.AutoInitPropertyFields = true;
        LClass.ComponentEditorEntries = true;
        LClass.Properties = {
            DescribeCollection("Channels", &C::GetChannels).WithEditorEntry("Edit C&hannels ..."),
            DescribeProperty(WindowTypeProperty, &C::GetWindowType, &C::SetWindowType),
            DescribeProperty(AlphaProperty, &C::GetAlpha, &C::SetAlpha),
            DescribeProperty(OrderProperty, static_cast<int32_t (C::*)() const>(&C::GetOrder), &C::SetOrder),
        };
        LClass.Factory = [] { return std::make_shared<TSNGraphicEqualizer>(); };
        return LClass;
    }();
    return LDescription;
}

void TSNGraphicEqualizer::SetOrder(int32_t AValue)
{
    AValue = std::clamp(AValue, static_cast<int32_t>(*OrderProperty.Min), static_cast<int32_t>(*OrderProperty.Max));
    if (AValue % 2 == 0)
        ++AValue;
    TSNSimpleFilter::SetOrder(AValue);
}

namespace {

// Cutoff between the outer band and its neighbour, a third of the way.
float GetSplitPoint2(double AFrequency1, double AFrequency2)
{
    return static_cast<float>(AFrequency1 + (AFrequency2 - AFrequency1) / 3.0);
}

// Half-width of an inner band from the gaps to its neighbours.
float GetSplitPoint(double AGapBelow, double AGapAbove)
{
    return static_cast<float>(AGapBelow * AGapAbove / (AGapBelow + AGapAbove));
}

} // namespace

void TSNGraphicEqualizer::IntInit(std::vector<double>& ATaps)
{
    // Called with FInputLock held.
    const int32_t LOrder = GetOrder();
    std::vector<std::pair<double, double>> LBands;
    {
        TLockAccess LAccess = FChannels.GetLock().ReadLock();
        for (int i = 0; i < FChannels.GetCount(); ++i) {
            const TSNGraphicEqualizerChannelItem& LItem = FChannels[i];
            if (LItem.GetEnabled())
                LBands.emplace_back(LItem.GetFrequency(), LItem.GetCoefficient());
        }
    }
    ATaps.assign(static_cast<size_t>(LOrder), 1.0);
    const size_t n = LBands.size();
    if (n < 2)
        return;
    // Exchange sort by frequency: each later band below position i moves there.
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            if (LBands[j].first < LBands[i].first)
                std::swap(LBands[i], LBands[j]);

    const double LRate = FWaveFormat.Format.nSamplesPerSec;
    const TDGWindowType LWindow = GetWindowType();
    const double LAlpha = GetAlpha();
    auto Design = [&](TDGDesignFilterType AKind, double AFrequency1, double AFrequency2, double AGain) {
        std::vector<double> LTaps =
            DGFilterCalc(ftFIR, AKind, LOrder, AFrequency1, AFrequency2, LRate, LWindow, iirBessel, LAlpha)->GetTaps();
        ippsMulC_64f_I(AGain, LTaps.data(), LOrder);
        return LTaps;
    };

    const double c0 = GetSplitPoint2(LBands[0].first, LBands[1].first);
    ATaps = Design(dfLowPass, c0, -1.0, LBands[0].second);
    for (size_t k = 1; k + 1 < n; ++k) {
        const double a = LBands[k].first - LBands[k - 1].first;
        const double b = LBands[k + 1].first - LBands[k].first;
        const double w = GetSplitPoint(a, b);
        const std::vector<double> LBand =
            Design(dfBandPass, LBands[k].first - w, LBands[k].first + w, LBands[k].second);
        ippsAdd_64f_I(LBand.data(), ATaps.data(), LOrder);
    }
    const double c = GetSplitPoint2(LBands[n - 2].first, LBands[n - 1].first);
    if (c <= LRate) {
        const std::vector<double> LHigh = Design(dfHighPass, c, -1.0, LBands[n - 1].second);
        ippsAdd_64f_I(LHigh.data(), ATaps.data(), LOrder);
    }
}

void TSNGraphicEqualizer::FilterInternalOperation(const ISNAudioBufferPtr& AInBuffer, ISNAudioBufferPtr& AOutBuffer,
                                                  bool& ASendOutputData)
{
    // Fewer than two bands: the copy of the input goes out as it is.
    if (FChannels.ActiveCount() < 2)
        return;
    TSNSimpleFilter::FilterInternalOperation(AInBuffer, AOutBuffer, ASendOutputData);
}

namespace SNGraphicEqualizer {
void RegisterPkg()
{
    RegisterComponents({&TSNGraphicEqualizer::ClassDescription()});
}
} // namespace SNGraphicEqualizer

} // namespace Sonorix
