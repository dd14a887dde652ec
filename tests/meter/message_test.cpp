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

TEST(MessageTable, RowsOfTheLiveSessionSayWhatWasLostAndKept) {
    EXPECT_EQ(Text(Msg::kInputOverrun, 12.3456, 2048LL),
              "input overrun at 12.346 s: 2048 frames lost, bridged");
    EXPECT_EQ(Text(Msg::kSessionFailedRecorded, "capture device 'hw:1' stopped delivering audio",
                   "take.wav", 41.5),
              "capture device 'hw:1' stopped delivering audio; take.wav holds the 41.500 s "
              "recorded before");
    EXPECT_EQ(Text(Msg::kRecordingFull, "take.wav", 24347.4),
              "take.wav holds 4 GiB, the most a WAV file can: recording stopped at 24347 s");
    EXPECT_EQ(StatusOf(Msg::kNoCaptureDevice), 1);
}

TEST(MessageTable, TheCommandLinesRefusalsExitWithTwoAndItsFailuresWithOne) {
    for (const Msg id : {Msg::kCommandLineRefused, Msg::kRpmNotAllowed, Msg::kVerifyAlone,
                         Msg::kVerifyNeedsDirectory, Msg::kLiveTakesNoFile, Msg::kLiveTakesNoCsv,
                         Msg::kFileRequired, Msg::kFileNameEmpty, Msg::kPlotAndLogTakeOneFile,
                         Msg::kPlotExtension}) {
        EXPECT_EQ(StatusOf(id), 2) << EntryOf(id).text;
        EXPECT_NE(std::string(EntryOf(id).text).find("(see --help)"), std::string::npos)
            << EntryOf(id).text;
    }
    for (const Msg id : {Msg::kCannotWriteStdout, Msg::kCannotWriteReadings, Msg::kCannotWriteTable,
                         Msg::kCannotWritePlot, Msg::kFileNotMeasured})
        EXPECT_EQ(StatusOf(id), 1) << EntryOf(id).text;
    EXPECT_EQ(Text(Msg::kCannotWriteReadingsPlotWritten, "it was closed", "p.png"),
              "cannot write the readings to standard output: it was closed (the plot p.png is "
              "written)");
}

TEST(MessageFormat, KeepsTextLongerThanAnyFixedBuffer) {
    const std::string path(2000, 'a');
    EXPECT_EQ(Format("cannot read %s: gone", path.c_str()), "cannot read " + path + ": gone");
}

}  // namespace
}  // namespace wobblemeter
