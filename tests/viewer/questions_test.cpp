// Questions and error reports: headless runs must never block, scripted
// answers are used in order, and every question and report is journaled
// so a test can see what the plug-in asked.
#include "hvislib.h"
#include "viewer/hlib/error.h"
#include "viewer/hvislib/journal.h"
#include "viewer/hvislib/questions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

class Questions : public ::testing::Test {
protected:
    void SetUp() override {
        host::clearAnswers();
        host::journalClear();
    }
    void TearDown() override {
        host::clearAnswers();
        host::setResponder(nullptr);
        host::setErrorListener(nullptr);
    }
};

TEST_F(Questions, HeadlessDefaultIsNoUntilChanged) {
    EXPECT_EQ(hvis_QueryYesNo("Save Cloud Layer sky.cloud?", "No", "Yes"), 0);
    host::setDefaultAnswer(true);
    EXPECT_EQ(hvis_QueryYesNo("Overwrite out.tif?", "No", "Yes"), 1);
    EXPECT_EQ(host::journal(),
              (Strings{"question: Save Cloud Layer sky.cloud?", "question: Overwrite out.tif?"}));
}

TEST_F(Questions, ScriptedAnswersComeFirstAndInOrder) {
    host::pushAnswer(true);
    host::pushAnswer(false);
    host::pushAnswer(true);
    EXPECT_EQ(host::pendingAnswers(), 3u);
    int asked = 0;
    host::setResponder([&](const std::string &, const std::string &, const std::string &) {
        ++asked;
        return true;
    });
    EXPECT_EQ(hvis_QueryYesNo("1?", "No", "Yes"), 1);
    EXPECT_EQ(hvis_QueryYesNo("2?", "No", "Yes"), 0);
    EXPECT_EQ(hvis_QueryYesNo("3?", "No", "Yes"), 1);
    EXPECT_EQ(asked, 0); // the queue answered, not the window
    EXPECT_EQ(host::pendingAnswers(), 0u);
    EXPECT_EQ(hvis_QueryYesNo("4?", "No", "Yes"), 1); // now the responder
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(host::journal().size(), 4u);
}

TEST_F(Questions, ResponderSeesTheQuestionAndBothAnswers) {
    std::string seen;
    host::setResponder([&](const std::string &q, const std::string &no, const std::string &yes) {
        seen = q + "|" + no + "|" + yes;
        return false;
    });
    EXPECT_EQ(hvis_QueryYesNo("Keep?", "Discard", "Keep"), 0);
    EXPECT_EQ(seen, "Keep?|Discard|Keep");
    EXPECT_EQ(hvis_QueryYesNo(nullptr, nullptr, nullptr), 0); // null texts are tolerated
    EXPECT_EQ(seen, "|No|Yes");
}

TEST_F(Questions, ClearAnswersDropsTheQueueAndTheDefault) {
    host::pushAnswer(true);
    host::setDefaultAnswer(true);
    host::clearAnswers();
    EXPECT_EQ(hvis_QueryYesNo("x?", "No", "Yes"), 0);
}

TEST_F(Questions, ErrorReportPrintsOneLineAndJournals) {
    std::vector<std::string> heard;
    host::setErrorListener([&](const std::string &m) { heard.push_back(m); });
    HErrorSlot err = nullptr;
    herr_Set(&err, "tlcloud.hml:3:5: unknown command 'foo'");
    testing::internal::CaptureStderr();
    hvis_ProcessErrorReport(&err);
    hvis_ProcessErrorReport(nullptr);
    HErrorSlot empty = nullptr;
    hvis_ProcessErrorReport(&empty);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "cloudview: tlcloud.hml:3:5: unknown command 'foo'\n");
    EXPECT_EQ(host::journal(), Strings{"error: tlcloud.hml:3:5: unknown command 'foo'"});
    EXPECT_EQ(heard, Strings{"tlcloud.hml:3:5: unknown command 'foo'"});
}

TEST_F(Questions, ReportsAreCountedByCodeAndMayBeKeptOffStderr) {
    const size_t damaged = host::reportCount(HERR_DAMAGED);
    const size_t generic = host::reportCount(HERR_GENERIC);
    HErrorSlot err = nullptr;
    herr_SetCode(&err, HERR_DAMAGED, "a.cloud: Cloud_0: zoom \"4x\" is not a number");
    testing::internal::CaptureStderr();
    hvis_ProcessErrorReport(&err);
    host::setReportsPrinted(false);
    hvis_ProcessErrorReport(&err);
    host::setReportsPrinted(true);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(printed, "cloudview: a.cloud: Cloud_0: zoom \"4x\" is not a number\n");
    EXPECT_EQ(host::journal().size(), 2u); // muted reports are still journaled
    EXPECT_EQ(host::reportCount(HERR_DAMAGED), damaged + 2);
    EXPECT_EQ(host::reportCount(HERR_GENERIC), generic);
}

TEST_F(Questions, ObjectCallbacksOnWhatIsNoSelectorSayItThroughTheSlot) {
    HErrorSlot err = nullptr;
    int notASelector = 0;
    hvis_ObjectAddCallback(&notASelector, 2, nullptr, nullptr, &err);
    ASSERT_NE(err, nullptr);
    EXPECT_NE(std::string(herr_Message(err)).find("not a live selector"), std::string::npos);
}

TEST(Journal, KeepsOrderUntilCleared) {
    host::journalClear();
    host::journalAdd("one");
    host::journalAdd("two");
    EXPECT_EQ(host::journal(), (Strings{"one", "two"}));
    host::journalClear();
    EXPECT_TRUE(host::journal().empty());
}

} // namespace
