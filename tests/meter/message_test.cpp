// The meter's table of messages: one row per name, in order, each formatting as its callers
// format it.
#include "meter/message.h"

#include <gtest/gtest.h>

#include <string>

namespace wobblemeter {
namespace {

TEST(MessageTable, HoldsOneRowPerNameInTheNamesOrder) {
    for (int i = 0; i < static_cast<int>(Msg::kCount); ++i) {
        const Msg id = static_cast<Msg>(i);
        EXPECT_EQ(EntryOf(id).id, id) << "row " << i;
        EXPECT_NE(std::string(EntryOf(id).text), "") << "row " << i;
    }
}

TEST(MessageTable, RefusesTheCountAsAName) {
    EXPECT_THROW(EntryOf(Msg::kCount), std::out_of_range);
}

TEST(MessageTable, FillsInTheArgumentsOfARow) {
    EXPECT_EQ(Text(Msg::kRecordingTooShort, 2.5, 8.0),
              "the recording is too short: 2.50 s of tone, at least 8.00 s needed");
}

TEST(MeterErrorFromTable, SaysTheRowsWordsAndExitsWithItsStatus) {
    const MeterError error(Msg::kToneStops, 12.25, 4.0, 8.0);
    EXPECT_STREQ(error.what(),
                 "the tone stops at 12.2 s: its longest stretch holds 4.0 s of tone, at least "
                 "8.0 s needed");
    EXPECT_EQ(error.id(), Msg::kToneStops);
    EXPECT_EQ(error.status(), 1);
}

TEST(MeterErrorFromTable, WordsOutsideTheTableFailWithStatusOne) {
    const MeterError error("libsndfile: unknown format");
    EXPECT_STREQ(error.what(), "libsndfile: unknown format");
    EXPECT_EQ(error.status(), 1);
}

TEST(MessageFormat, KeepsTextLongerThanAnyFixedBuffer) {
    const std::string path(2000, 'a');
    EXPECT_EQ(Format("cannot read %s: gone", path.c_str()), "cannot read " + path + ": gone");
}

}  // namespace
}  // namespace wobblemeter
