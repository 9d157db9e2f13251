// SPDX-License-Identifier: MIT
#include "CVComponent.h"

namespace Sonorix {

TLockComponent::TLockComponent() : FLock(std::make_shared<TBasicLockChangeNotifyLock>()) {}

TLockComponent::~TLockComponent() = default;

const TClassDescription& TLockComponent::ClassDescription()
{
    static const TClassDescription LDescription = [] {
        TClassDescription LClass;
        LClass.ClassName = "TLockComponent";
        LClass.Unit = "Corvane.Types";
        return LClass;
    }();
    return LDescription;
}

std::string TLockComponent::GetDisplayPath() const
{
    return FName.empty() ? GetClassDescription().ClassName : FName;
}

} // namespace Sonorix
