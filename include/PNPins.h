// SPDX-License-Identifier: MIT
// Pins: typed connection points of components.
//
// A source pin feeds any number of sink pins; a sink pin has one source
// (a multi-sink pin, such as a clock input, may have several). Notify on a
// source pin delivers an operation downstream to every connected sink's
// owner; Notify on a sink pin delivers it upstream to its source's owner.
// Connections may change while a stream runs: an operation already on its
// way may still arrive after a disconnect, so a pin is destroyed only when
// no stream runs through it.
#pragma once

#include "SNExport.h"

#include "PNOperations.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Sonorix {
SN_API_BEGIN

class TPersistent;
class TPNSinkPin;
class TPNSourcePin;

enum class TPNDataType { dtAudio, dtBinary, dtReal, dtRealValue, dtClock, dtProgress };
enum class TPNPinDirection { pdSink, pdSource };

const char* DataTypeName(TPNDataType AType);

class TPNPin {
public:
    // The owner's handler for operations arriving at this pin; its answer
    // is the answer of Notify on the far side.
    using TDispatch = std::function<bool(TPNPin& APin, const IPNNotifyOperationPtr& AOperation)>;

    TPNPin(const TPNPin&) = delete;
    TPNPin& operator=(const TPNPin&) = delete;
    virtual ~TPNPin() = default;

    const std::string& GetName() const { return FName; }
    void SetName(std::string AName) { FName = std::move(AName); }
    TPersistent* GetOwner() const { return FOwner; }
    TPNDataType GetDataType() const { return FDataType; }
    TPNPinDirection GetDirection() const { return FDirection; }
    // "Owner.Pin" for messages.
    std::string GetPath() const;

    void SetDispatch(TDispatch ADispatch) { FDispatch = std::move(ADispatch); }
    // Hands an operation to the owner of this pin.
    bool Dispatch(const IPNNotifyOperationPtr& AOperation)
    {
        return FDispatch ? FDispatch(*this, AOperation) : false;
    }

    // Sends an operation to the other side of every connection.
    virtual bool Notify(const IPNNotifyOperationPtr& AOperation) = 0;
    virtual bool IsConnected() const = 0;
    virtual void DisconnectAll() = 0;

protected:
    TPNPin(TPersistent* AOwner, std::string AName, TPNDataType ADataType, TPNPinDirection ADirection);

private:
    TPersistent* FOwner;
    std::string FName;
    TPNDataType FDataType;
    TPNPinDirection FDirection;
    TDispatch FDispatch;
};

class TPNSourcePin : public TPNPin {
public:
    TPNSourcePin(TPersistent* AOwner, std::string AName, TPNDataType ADataType)
        : TPNPin(AOwner, std::move(AName), ADataType, TPNPinDirection::pdSource) {}
    ~TPNSourcePin() override;

    // Connects a sink; throws EPinConnectError when the data types differ,
    // the sink already has a source and takes only one, or the sink's owner
    // already feeds this pin's owner (the connection would close a cycle).
    void Connect(TPNSinkPin& ASink);
    void Disconnect(TPNSinkPin& ASink);
    void DisconnectAll() override;

    // Delivers downstream to every sink; the answer is the last sink's
    // (false when none is connected).
    bool Notify(const IPNNotifyOperationPtr& AOperation) override;
    bool IsConnected() const override;
    std::vector<TPNSinkPin*> GetSinks() const;

private:
    friend class TPNSinkPin;
    using TSinkList = std::vector<TPNSinkPin*>;
    void RemoveSink(TPNSinkPin* ASink);

    // Copy-on-write so that Notify reads a snapshot without holding a lock
    // across the downstream call chain.
    std::mutex FWriteMutex;
    std::atomic<std::shared_ptr<const TSinkList>> FSinks{std::make_shared<const TSinkList>()};
};

class TPNSinkPin : public TPNPin {
public:
    TPNSinkPin(TPersistent* AOwner, std::string AName, TPNDataType ADataType, bool AMultiSource = false)
        : TPNPin(AOwner, std::move(AName), ADataType, TPNPinDirection::pdSink), FMultiSource(AMultiSource) {}
    ~TPNSinkPin() override;

    // Delivers upstream to the source's owner (every source's, for a
    // multi-source pin: the answer is the last one's).
    bool Notify(const IPNNotifyOperationPtr& AOperation) override;
    bool IsConnected() const override;
    void DisconnectAll() override;
    bool IsMultiSource() const { return FMultiSource; }
    // Whether a source of AType may feed this pin (by default: its own type).
    virtual bool Accepts(TPNDataType AType) const { return AType == GetDataType(); }
    // Whether a value source should send every reading, not only changes.
    virtual bool WantsEveryValue() const { return false; }
    // Called on the connecting thread after ASource was connected.
    virtual void SourceConnected(TPNSourcePin& /*ASource*/) {}
    // The single source, or the first of several; nullptr if unconnected.
    TPNSourcePin* GetSource() const;
    std::vector<TPNSourcePin*> GetSources() const;

private:
    friend class TPNSourcePin;
    using TSourceList = std::vector<TPNSourcePin*>;
    bool FMultiSource;
    std::mutex FWriteMutex;
    std::atomic<std::shared_ptr<const TSourceList>> FSources{std::make_shared<const TSourceList>()};
};

// Connects ASource to ASink (same as ASource.Connect(ASink)).
inline void Connect(TPNSourcePin& ASource, TPNSinkPin& ASink) { ASource.Connect(ASink); }

// Typed pins of the package. They add nothing but their data type and the
// convenience of sending their kind of buffer.
class TSNPNAudioSourcePin : public TPNSourcePin {
public:
    TSNPNAudioSourcePin(TPersistent* AOwner, std::string AName)
        : TPNSourcePin(AOwner, std::move(AName), TPNDataType::dtAudio) {}
    bool SendStart(const WAVEFORMATEXTENSIBLE& AFormat);
    bool SendBuffer(ISNAudioBufferPtr ABuffer);
    bool SendStop();
};

class TSNPNAudioSinkPin : public TPNSinkPin {
public:
    TSNPNAudioSinkPin(TPersistent* AOwner, std::string AName) : TPNSinkPin(AOwner, std::move(AName), TPNDataType::dtAudio) {}
};

// Binary packets (the codec packet framing).
class TDGPNBinarySourcePin : public TPNSourcePin {
public:
    TDGPNBinarySourcePin(TPersistent* AOwner, std::string AName)
        : TPNSourcePin(AOwner, std::move(AName), TPNDataType::dtBinary) {}
};

class TDGPNBinarySinkPin : public TPNSinkPin {
public:
    TDGPNBinarySinkPin(TPersistent* AOwner, std::string AName) : TPNSinkPin(AOwner, std::move(AName), TPNDataType::dtBinary) {}
};

// Buffers of real numbers (spectra, vectors).
class TDGPNRealRangedSourcePin : public TPNSourcePin {
public:
    TDGPNRealRangedSourcePin(TPersistent* AOwner, std::string AName)
        : TPNSourcePin(AOwner, std::move(AName), TPNDataType::dtReal) {}
    // A stream of real buffers starts (TPNStartSampleRateOperation).
    bool SendStart(double ASampleRate);
    // The range of the values that follow (TPNRealRangeOperation).
    bool SubmitRange(double AMin, double AMax);
    // One buffer; receivers may keep it, so the sender never writes it again.
    bool SubmitBuffer(IDGRealBufferPtr ABuffer);
    bool SendStop();
};

class TDGPNRealSinkPin : public TPNSinkPin {
public:
    TDGPNRealSinkPin(TPersistent* AOwner, std::string AName) : TPNSinkPin(AOwner, std::move(AName), TPNDataType::dtReal) {}
};

// Single real values with a range (meter readings).
class TPNRealRangedSourcePin : public TPNSourcePin {
public:
    TPNRealRangedSourcePin(TPersistent* AOwner, std::string AName)
        : TPNSourcePin(AOwner, std::move(AName), TPNDataType::dtRealValue) {}
    bool SendValue(double AValue, double AMin, double AMax);
    // Stores the value as the pin's current one and sends it with its range.
    bool SubmitValueRange(double AValue, double AMin, double AMax);
    // Whether the pin's current value is AValue (false before the first
    // submission, so a first reading of 0 is still sent).
    bool HoldsValue(double AValue) const;
    // The last submitted value (0 before the first).
    double GetValue() const;
    // Whether a value has been submitted.
    bool HasValue() const;

private:
    mutable std::mutex FValueMutex;
    bool FHasValue = false;
    double FValue = 0.0;
};

class TPNRealValueSinkPin : public TPNSinkPin {
public:
    TPNRealValueSinkPin(TPersistent* AOwner, std::string AName)
        : TPNSinkPin(AOwner, std::move(AName), TPNDataType::dtRealValue) {}
};

class TPNClockSourcePin : public TPNSourcePin {
public:
    TPNClockSourcePin(TPersistent* AOwner, std::string AName)
        : TPNSourcePin(AOwner, std::move(AName), TPNDataType::dtClock) {}
};

// A clock input that several clocks may drive.
class TPNClockMultiSinkPin : public TPNSinkPin {
public:
    TPNClockMultiSinkPin(TPersistent* AOwner, std::string AName)
        : TPNSinkPin(AOwner, std::move(AName), TPNDataType::dtClock, true) {}
};

class TPNInt64TimeRangedSourcePin : public TPNSourcePin {
public:
    TPNInt64TimeRangedSourcePin(TPersistent* AOwner, std::string AName)
        : TPNSourcePin(AOwner, std::move(AName), TPNDataType::dtProgress) {}
};

class TPNInt64TimeSinkPin : public TPNSinkPin {
public:
    TPNInt64TimeSinkPin(TPersistent* AOwner, std::string AName)
        : TPNSinkPin(AOwner, std::move(AName), TPNDataType::dtProgress) {}
};

// An owned, ordered list of pins of one class that grows and shrinks with a
// count. The factory makes the pin for an index; OnChange runs after every
// change of the count (outside the list's lock).
class TPNPinList {
public:
    using TFactory = std::function<std::unique_ptr<TPNPin>(int AIndex)>;
    using TRemoved = std::function<void(TPNPin& APin)>;

    TPNPinList(TPersistent* AOwner, std::string AName, TPNDataType ADataType, TPNPinDirection ADirection,
               TFactory AFactory);
    ~TPNPinList();
    TPNPinList(const TPNPinList&) = delete;
    TPNPinList& operator=(const TPNPinList&) = delete;

    const std::string& GetName() const { return FName; }
    TPersistent* GetOwner() const { return FOwner; }
    TPNDataType GetDataType() const { return FDataType; }
    TPNPinDirection GetDirection() const { return FDirection; }

    int GetCount() const;
    // Adds pins at the end or removes them from the end (disconnecting them).
    void SetCount(int ACount);
    TPNPin& Add();
    // Removes one pin and renumbers the names of those after it.
    void Delete(int AIndex);
    // Moves the pin at ACurIndex to ANewIndex (clamped into the list) and
    // renumbers the names; connections stay as they are.
    void Move(int ACurIndex, int ANewIndex);
    // nullptr when the index is out of range.
    TPNPin* GetPin(int AIndex) const;
    TPNPin& operator[](int AIndex) const;
    int IndexOf(const TPNPin* APin) const;

    // Called before a pin leaves the list (while it is still connected).
    void SetOnRemove(TRemoved ARemoved) { FOnRemove = std::move(ARemoved); }

    // The lock that guards the list; structural changes take it first.
    std::recursive_mutex& GetListLock() { return FListLock; }

private:
    std::string PinName(int AIndex) const;

    TPersistent* FOwner;
    std::string FName;
    TPNDataType FDataType;
    TPNPinDirection FDirection;
    TFactory FFactory;
    TRemoved FOnRemove;
    mutable std::recursive_mutex FListLock;
    std::vector<std::unique_ptr<TPNPin>> FPins;
};

SN_API_END
} // namespace Sonorix
