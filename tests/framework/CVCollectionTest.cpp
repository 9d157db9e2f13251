// SPDX-License-Identifier: MIT
#include "CVCollection.h"

#include <gtest/gtest.h>

using namespace Sonorix;

namespace {

class TBand : public TLockCollectionItem {
public:
    static constexpr TRealSpec GainProperty{.Name = "Gain", .Default = 1.0};
    using TLockCollectionItem::TLockCollectionItem;
    static const TClassDescription& ClassDescription()
    {
        static const TClassDescription LDescription = [] {
            TClassDescription LClass;
            LClass.ClassName = "TBand";
            LClass.Properties = {DescribeProperty(GainProperty, &TBand::GetGain, &TBand::SetGain)};
            return LClass;
        }();
        return LDescription;
    }
    const TClassDescription& GetClassDescription() const override { return ClassDescription(); }
    double GetGain() const { return GetLock().Getter(FGain); }
    void SetGain(double AValue) { GetLock().NotifySetter(FGain, AValue); }

private:
    double FGain = GainProperty.Default;
};

// Records the hooks.
class TBands : public TTypedCollection<TBand> {
public:
    TBands() : TTypedCollection(nullptr, "Bands") {}
    std::vector<std::string> Log;

protected:
    void Added(TBand& AItem) override
    {
        EXPECT_EQ(&AItem.GetCollection(), this);
        Log.push_back("added " + std::to_string(FItems.size() - 1));
    }
    void Removing(TBand& /*AItem*/, int AIndex) override { Log.push_back("removing " + std::to_string(AIndex)); }
    void Moved(int ACur, int ANew) override
    {
        Log.push_back("moved " + std::to_string(ACur) + " " + std::to_string(ANew));
    }
};

} // namespace

TEST(CVCollectionTest, ItemsAreAddedDeletedAndMovedWithTheHooksInStep)
{
    TBands LBands;
    LBands.SetCount(3);
    EXPECT_EQ(LBands.GetCount(), 3);
    EXPECT_EQ(LBands.Log, (std::vector<std::string>{"added 0", "added 1", "added 2"}));
    TBand* LFirst = &LBands[0];
    TBand* LLast = &LBands[2];
    LBands[2].SetGain(0.25);
    LBands[2].SetIndex(0);
    EXPECT_EQ(&LBands[0], LLast);
    EXPECT_EQ(&LBands[1], LFirst);
    EXPECT_EQ(LLast->GetIndex(), 0);
    EXPECT_EQ(LLast->GetDisplayPath(), "Bands[0]");
    EXPECT_EQ(LBands.Log.back(), "moved 2 0");
    LBands.Move(0, 99);
    EXPECT_EQ(LBands.Log.back(), "moved 0 2") << "a target beyond the end is the last place";
    EXPECT_EQ(LLast->GetIndex(), 2);
    EXPECT_DOUBLE_EQ(LBands[2].GetGain(), 0.25);

    LBands.Delete(0);
    EXPECT_EQ(LBands.Log.back(), "removing 0");
    EXPECT_EQ(LBands.GetCount(), 2);
    LBands.Delete(5);
    EXPECT_EQ(LBands.GetCount(), 2) << "an index beyond the count is ignored";
    EXPECT_THROW(LBands.Items(2), std::out_of_range);
    LBands.SetCount(0);
    EXPECT_EQ(LBands.GetCount(), 0);
    EXPECT_EQ(&LBands.GetItemDescription(), &TBand::ClassDescription());
}
