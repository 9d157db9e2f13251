// SPDX-License-Identifier: MIT
#include "PNPins.h"

#include "CVPersistent.h"
#include "CVRegistry.h"
#include "SNAudioBuffer.h"

#include <algorithm>
#include <unordered_set>

namespace Sonorix {

const char* DataTypeName(TPNDataType AType)
{
    switch (AType) {
    case TPNDataType::dtAudio: return "audio";
    case TPNDataType::dtBinary: return "binary packets";
    case TPNDataType::dtReal: return "real-number buffers";
    case TPNDataType::dtRealValue: return "real values";
    case TPNDataType::dtClock: return "clock";
    case TPNDataType::dtProgress: return "progress";
    }
    return "unknown";
}

TPNPin::TPNPin(TPersistent* AOwner, std::string AName, TPNDataType ADataType, TPNPinDirection ADirection)
    : FOwner(AOwner), FName(std::move(AName)), FDataType(ADataType), FDirection(ADirection)
{
}

std::string TPNPin::GetPath() const
{
    return (FOwner ? FOwner->GetDisplayPath() : std::string("?")) + "." + FName;
}

namespace {

// Whether AFrom feeds ATo through connected pins (or is ATo). Iterative:
// a long chain must not grow the stack.
bool Feeds(TPersistent* AFrom, const TPersistent* ATo)
{
    std::vector<TPersistent*> LPending{AFrom};
    std::unordered_set<TPersistent*> LSeen{AFrom};
    while (!LPending.empty()) {
        TPersistent* LOwner = LPending.back();
        LPending.pop_back();
        if (LOwner == ATo)
            return true;
        for (TPNPin* LPin : AllPins(*LOwner)) {
            if (LPin->GetDirection() != TPNPinDirection::pdSource)
                continue;
            for (TPNSinkPin* LSink : static_cast<TPNSourcePin*>(LPin)->GetSinks())
                if (TPersistent* LNext = LSink->GetOwner(); LNext && LSeen.insert(LNext).second)
                    LPending.push_back(LNext);
        }
    }
    return false;
}

// Whether APin is one of AOwner's published pins: only those are followed,
// so a cycle is a cycle of components, not of pins an object holds for
// other purposes.
bool PublishedBy(TPersistent* AOwner, const TPNPin* APin)
{
    if (!AOwner)
        return false;
    const std::vector<TPNPin*> LPins = AllPins(*AOwner);
    return std::find(LPins.begin(), LPins.end(), APin) != LPins.end();
}

} // namespace

// --- Source pins -------------------------------------------------------------

TPNSourcePin::~TPNSourcePin()
{
    DisconnectAll();
}

void TPNSourcePin::Connect(TPNSinkPin& ASink)
{
    if (!ASink.Accepts(GetDataType()))
        throw EPinConnectError("cannot connect " + GetPath() + " (" + DataTypeName(GetDataType()) + ") to " +
                               ASink.GetPath() + " (" + DataTypeName(ASink.GetDataType()) + ")");
    // Operations travel both ways along connections; a cycle would send them
    // round for ever.
    if (PublishedBy(GetOwner(), this) && PublishedBy(ASink.GetOwner(), &ASink) && Feeds(ASink.GetOwner(), GetOwner()))
        throw EPinConnectError("cannot connect " + GetPath() + " to " + ASink.GetPath() +
                               ": it would close a cycle (" + ASink.GetOwner()->GetDisplayPath() + " already feeds " +
                               GetOwner()->GetDisplayPath() + ")");
    {
        std::lock_guard LSinkGuard(ASink.FWriteMutex);
        auto LSources = ASink.FSources.load();
        if (std::find(LSources->begin(), LSources->end(), this) != LSources->end())
            return;
        if (!ASink.FMultiSource && !LSources->empty())
            throw EPinConnectError("cannot connect " + GetPath() + " to " + ASink.GetPath() +
                                   ": it is already fed by " + LSources->front()->GetPath());
        auto LNewSources = std::make_shared<TPNSinkPin::TSourceList>(*LSources);
        LNewSources->push_back(this);
        ASink.FSources.store(std::move(LNewSources));
    }
    std::lock_guard LGuard(FWriteMutex);
    auto LNewSinks = std::make_shared<TSinkList>(*FSinks.load());
    LNewSinks->push_back(&ASink);
    FSinks.store(std::move(LNewSinks));
    ASink.SourceConnected(*this);
}

void TPNSourcePin::RemoveSink(TPNSinkPin* ASink)
{
    std::lock_guard LGuard(FWriteMutex);
    auto LNewSinks = std::make_shared<TSinkList>(*FSinks.load());
    std::erase(*LNewSinks, ASink);
    FSinks.store(std::move(LNewSinks));
}

void TPNSourcePin::Disconnect(TPNSinkPin& ASink)
{
    {
        std::lock_guard LSinkGuard(ASink.FWriteMutex);
        auto LNewSources = std::make_shared<TPNSinkPin::TSourceList>(*ASink.FSources.load());
        std::erase(*LNewSources, this);
        ASink.FSources.store(std::move(LNewSources));
    }
    RemoveSink(&ASink);
}

void TPNSourcePin::DisconnectAll()
{
    for (TPNSinkPin* LSink : GetSinks())
        Disconnect(*LSink);
}

bool TPNSourcePin::Notify(const IPNNotifyOperationPtr& AOperation)
{
    const auto LSinks = FSinks.load();
    // Sinks that share the operation must not take its buffer to write in
    // place: this extra reference tells each of them so.
    const IPNNotifyOperationPtr LShared = LSinks->size() > 1 ? AOperation : nullptr;
    bool LResult = false;
    for (TPNSinkPin* LSink : *LSinks)
        LResult = LSink->Dispatch(AOperation);
    return LResult;
}

bool TPNSourcePin::IsConnected() const
{
    return !FSinks.load()->empty();
}

std::vector<TPNSinkPin*> TPNSourcePin::GetSinks() const
{
    return *FSinks.load();
}

// --- Sink pins ---------------------------------------------------------------

TPNSinkPin::~TPNSinkPin()
{
    DisconnectAll();
}

bool TPNSinkPin::Notify(const IPNNotifyOperationPtr& AOperation)
{
    const auto LSources = FSources.load();
    bool LResult = false;
    for (TPNSourcePin* LSource : *LSources)
        LResult = LSource->Dispatch(AOperation);
    return LResult;
}

bool TPNSinkPin::IsConnected() const
{
    return !FSources.load()->empty();
}

void TPNSinkPin::DisconnectAll()
{
    for (TPNSourcePin* LSource : GetSources())
        LSource->Disconnect(*this);
}

TPNSourcePin* TPNSinkPin::GetSource() const
{
    const auto LSources = FSources.load();
    return LSources->empty() ? nullptr : LSources->front();
}

std::vector<TPNSourcePin*> TPNSinkPin::GetSources() const
{
    return *FSources.load();
}

// --- Typed pins ----------------------------------------------------------------

bool TSNPNAudioSourcePin::SendStart(const WAVEFORMATEXTENSIBLE& AFormat)
{
    return Notify(std::make_shared<TPNStartWaveOperation>(AFormat));
}

bool TSNPNAudioSourcePin::SendBuffer(ISNAudioBufferPtr ABuffer)
{
    return Notify(MakePooled<TPNSuppliedBufferOperation>(std::move(ABuffer)));
}

bool TSNPNAudioSourcePin::SendStop()
{
    return Notify(std::make_shared<TPNStopOperation>());
}

bool TPNRealRangedSourcePin::SendValue(double AValue, double AMin, double AMax)
{
    return Notify(std::make_shared<TPNRealValueOperation>(AValue, AMin, AMax));
}

bool TPNRealRangedSourcePin::SubmitValueRange(double AValue, double AMin, double AMax)
{
    {
        std::lock_guard LGuard(FValueMutex);
        FHasValue = true;
        FValue = AValue;
    }
    return SendValue(AValue, AMin, AMax);
}

bool TPNRealRangedSourcePin::HoldsValue(double AValue) const
{
    // A sink that makes a stream of the readings wants every one.
    for (const TPNSinkPin* LSink : GetSinks())
        if (LSink->WantsEveryValue())
            return false;
    std::lock_guard LGuard(FValueMutex);
    return FHasValue && FValue == AValue;
}

bool TPNRealRangedSourcePin::HasValue() const
{
    std::lock_guard LGuard(FValueMutex);
    return FHasValue;
}

double TPNRealRangedSourcePin::GetValue() const
{
    std::lock_guard LGuard(FValueMutex);
    return FValue;
}

bool TDGPNRealRangedSourcePin::SendStart(double ASampleRate)
{
    return Notify(std::make_shared<TPNStartSampleRateOperation>(ASampleRate));
}

bool TDGPNRealRangedSourcePin::SubmitRange(double AMin, double AMax)
{
    return Notify(std::make_shared<TPNRealRangeOperation>(AMin, AMax));
}

bool TDGPNRealRangedSourcePin::SubmitBuffer(IDGRealBufferPtr ABuffer)
{
    return Notify(MakePooled<TPNSuppliedBufferOperation>(std::move(ABuffer)));
}

bool TDGPNRealRangedSourcePin::SendStop()
{
    return Notify(std::make_shared<TPNStopOperation>());
}

// --- Pin lists -----------------------------------------------------------------

TPNPinList::TPNPinList(TPersistent* AOwner, std::string AName, TPNDataType ADataType, TPNPinDirection ADirection,
                       TFactory AFactory)
    : FOwner(AOwner), FName(std::move(AName)), FDataType(ADataType), FDirection(ADirection),
      FFactory(std::move(AFactory))
{
}

TPNPinList::~TPNPinList()
{
    std::lock_guard LGuard(FListLock);
    // Disconnect before destruction so no neighbour keeps a dangling pointer.
    for (auto& LPin : FPins)
        LPin->DisconnectAll();
}

std::string TPNPinList::PinName(int AIndex) const
{
    return FName + "[" + std::to_string(AIndex) + "]";
}

int TPNPinList::GetCount() const
{
    std::lock_guard LGuard(FListLock);
    return static_cast<int>(FPins.size());
}

void TPNPinList::SetCount(int ACount)
{
    ACount = std::max(ACount, 0);
    std::lock_guard LGuard(FListLock);
    while (static_cast<int>(FPins.size()) < ACount)
        Add();
    while (static_cast<int>(FPins.size()) > ACount)
        Delete(static_cast<int>(FPins.size()) - 1);
}

TPNPin& TPNPinList::Add()
{
    std::lock_guard LGuard(FListLock);
    const int LIndex = static_cast<int>(FPins.size());
    std::unique_ptr<TPNPin> LPin = FFactory(LIndex);
    SNAssert(LPin != nullptr, "pin list factory returned no pin");
    SNAssert(LPin->GetDataType() == FDataType && LPin->GetDirection() == FDirection,
             "pin list factory made a pin of another kind");
    LPin->SetName(PinName(LIndex));
    FPins.push_back(std::move(LPin));
    return *FPins.back();
}

void TPNPinList::Delete(int AIndex)
{
    std::lock_guard LGuard(FListLock);
    if (AIndex < 0 || AIndex >= static_cast<int>(FPins.size()))
        return;
    TPNPin& LPin = *FPins[static_cast<size_t>(AIndex)];
    if (FOnRemove)
        FOnRemove(LPin);
    LPin.DisconnectAll();
    FPins.erase(FPins.begin() + AIndex);
    for (size_t I = static_cast<size_t>(AIndex); I < FPins.size(); ++I)
        FPins[I]->SetName(PinName(static_cast<int>(I)));
}

void TPNPinList::Move(int ACurIndex, int ANewIndex)
{
    std::lock_guard LGuard(FListLock);
    const int LCount = static_cast<int>(FPins.size());
    if (ACurIndex < 0 || ACurIndex >= LCount)
        return;
    ANewIndex = std::clamp(ANewIndex, 0, LCount - 1);
    if (ACurIndex == ANewIndex)
        return;
    std::unique_ptr<TPNPin> LPin = std::move(FPins[static_cast<size_t>(ACurIndex)]);
    FPins.erase(FPins.begin() + ACurIndex);
    FPins.insert(FPins.begin() + ANewIndex, std::move(LPin));
    for (size_t I = 0; I < FPins.size(); ++I)
        FPins[I]->SetName(PinName(static_cast<int>(I)));
}

TPNPin* TPNPinList::GetPin(int AIndex) const
{
    std::lock_guard LGuard(FListLock);
    if (AIndex < 0 || AIndex >= static_cast<int>(FPins.size()))
        return nullptr;
    return FPins[static_cast<size_t>(AIndex)].get();
}

TPNPin& TPNPinList::operator[](int AIndex) const
{
    TPNPin* LPin = GetPin(AIndex);
    if (!LPin)
        throw std::out_of_range(FName + ": no pin " + std::to_string(AIndex) + " (count " +
                                std::to_string(GetCount()) + ")");
    return *LPin;
}

int TPNPinList::IndexOf(const TPNPin* APin) const
{
    std::lock_guard LGuard(FListLock);
    for (size_t I = 0; I < FPins.size(); ++I)
        if (FPins[I].get() == APin)
            return static_cast<int>(I);
    return -1;
}

} // namespace Sonorix
