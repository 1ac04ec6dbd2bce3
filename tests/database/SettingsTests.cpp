// Options, chat font, pen and questions: single-row saves and reads, and the question table.
#include "tests/database/DbTestSupport.h"

#include <gtest/gtest.h>

TEST(SingleRowTables, FirstStartKeepsDefaultsThenInsertsOnceAndUpdatesAfter)
{
    TestDatabase db;
    OptionSettings options;
    options.dataRate = 1234;
    ChatFont font;
    font.size = 99;
    PenSetting pen;
    pen.size = 42;
    EXPECT_FALSE(db->GetOptionInfo(options));
    EXPECT_FALSE(db->GetFontInfo(font));
    EXPECT_FALSE(db->GetPenInfo(pen));
    EXPECT_EQ(options.dataRate, 1234);
    EXPECT_EQ(font.size, 99);
    EXPECT_EQ(pen.size, 42);

    RawDb raw(db.FilePath());
    for (int i = 0; i < 3; ++i) {
        options.frameRate = 10 + i;
        font.size = 20 + i;
        pen.style = i;
        ASSERT_TRUE(db->SaveOptionInfo(options));
        ASSERT_TRUE(db->SaveFontInfo(font));
        ASSERT_TRUE(db->SavePenInfo(pen));
    }
    EXPECT_EQ(raw.Query("SELECT COUNT(*), MAX(nframerate) FROM OptionInfo"), "1|12");
    EXPECT_EQ(raw.Query("SELECT COUNT(*), MAX(font_size) FROM FontInfo"), "1|22");
    EXPECT_EQ(raw.Query("SELECT COUNT(*), MAX(pen_style) FROM PenInfo"), "1|2");
}

TEST(SingleRowTables, OptionsRoundTripWithTheAudioSwitchesFoldedIntoTheirLevels)
{
    struct Case {
        uint32_t enabled;
        int32_t level;
        int stored;
        uint32_t readEnabled;
        int32_t readLevel;
    };
    const Case cases[] = {
        {1, 2, 20, 1, 2}, {1, 1, 10, 1, 1}, {0, 3, 3, 0, 3}, {1, 0, 0, 0, 0}, {1, 9, 90, 1, 9}, {0, 9, 9, 0, 9},
    };
    TestDatabase db;
    RawDb raw(db.FilePath());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        OptionSettings options;
        options.audio.nearNoiseSuppression = {c.enabled, c.level};
        options.audio.farGainControl = {c.enabled, c.level};
        options.audio.nearGainControl = {1, 5};
        options.audio.nearEchoCancellation = {0, 1};
        options.audio.farNoiseSuppression = {1, 4};
        options.recordOption = 1;
        options.dataRate = 800;
        options.frameRate = 15;
        options.videoSizeOption = 2;
        options.recordFolder = L"D:\\Teacher's \x5f55\x50cf";
        options.tipOption = 1;
        options.contentOption = 0;
        options.microphoneId = 3;
        options.speakerId = 4;
        options.cameraId = 5;
        ASSERT_TRUE(db->SaveOptionInfo(options));
        EXPECT_EQ(raw.Number("SELECT nsnear FROM OptionInfo"), c.stored);
        EXPECT_EQ(raw.Number("SELECT agcfar FROM OptionInfo"), c.stored);
        EXPECT_EQ(raw.Query("SELECT agcnear, aecnear, nsfar, camera_id, speaker_id, mic_id FROM OptionInfo"),
                  "50|1|40|5|4|3");

        OptionSettings read;
        ASSERT_TRUE(db->GetOptionInfo(read));
        AudioProcessingSettings audio = options.audio;
        audio.nearNoiseSuppression = audio.farGainControl = {c.readEnabled, c.readLevel};
        EXPECT_TRUE(AudioProcessingSettingsEqual(read.audio, audio));
        EXPECT_EQ(read.recordOption, 1);
        EXPECT_EQ(read.dataRate, 800);
        EXPECT_EQ(read.frameRate, 15);
        EXPECT_EQ(read.videoSizeOption, 2);
        EXPECT_EQ(read.recordFolder, options.recordFolder);
        EXPECT_EQ(read.tipOption, 1);
        EXPECT_EQ(read.contentOption, 0);
        EXPECT_EQ(read.microphoneId, 3);
        EXPECT_EQ(read.speakerId, 4);
        EXPECT_EQ(read.cameraId, 5);
    }
}

TEST(SingleRowTables, FontRoundTripsWithTheHighColourBit)
{
    TestDatabase db;
    ChatFont font;
    font.bold = 1;
    font.underline = 0;
    font.italic = 1;
    font.size = 16;
    font.colour = 0xFFFFFFFFu;
    font.family = L"Mc'Font \x5b8b\x4f53";
    ASSERT_TRUE(db->SaveFontInfo(font));

    ChatFont readFont;
    ASSERT_TRUE(db->GetFontInfo(readFont));
    EXPECT_EQ(readFont.bold, 1);
    EXPECT_EQ(readFont.underline, 0);
    EXPECT_EQ(readFont.italic, 1);
    EXPECT_EQ(readFont.size, 16);
    EXPECT_EQ(readFont.colour, 0xFFFFFFFFu);
    EXPECT_EQ(readFont.family, font.family);

    RawDb raw(db.FilePath());
    EXPECT_EQ(raw.Query("SELECT font_color, font_family FROM FontInfo"), "4294967295|Mc'Font \xe5\xae\x8b\xe4\xbd\x93");
}

TEST(SingleRowTables, ATableHoldingTwoRowsIsNotWrittenAndReadsItsLastRow)
{
    TestDatabase db;
    {
        RawDb raw(db.FilePath());
        ASSERT_TRUE(raw.Exec("INSERT INTO PenInfo (pen_color, pen_size, pen_style) VALUES (1, 1, 1);"
                             "INSERT INTO PenInfo (pen_color, pen_size, pen_style) VALUES (2, 2, 2);"
                             "INSERT INTO FontInfo (font_bold, font_size, font_family) VALUES (0, 10, 'first');"
                             "INSERT INTO FontInfo (font_bold, font_size, font_family) VALUES (2, 11, 'last');"));
    }
    PenSetting pen;
    pen.colour = 77;
    EXPECT_FALSE(db->SavePenInfo(pen));
    ASSERT_TRUE(db->GetPenInfo(pen));
    EXPECT_EQ(pen.colour, 2u);
    ChatFont font;
    EXPECT_FALSE(db->SaveFontInfo(font));
    ASSERT_TRUE(db->GetFontInfo(font));
    EXPECT_EQ(font.family, L"last");
    EXPECT_EQ(font.size, 11);
    EXPECT_EQ(font.bold, 0); // 2 is not 1
    RawDb raw(db.FilePath());
    EXPECT_EQ(raw.Number("SELECT COUNT(*) FROM PenInfo WHERE pen_color = 77"), 0);
}

TEST(Questions, IdsCountUpEmptyTextsAreRefusedAndTheServerIdIsSet)
{
    TestDatabase db;
    EXPECT_EQ(db->GetQuestionTableLastRowId(), 0);
    QuestionRecord question;
    question.roomId = 5;
    question.userId = 6;
    question.questionId = 999; // not used: the table gives the id
    question.serverQuestionId = 70;
    question.questionText = L"What's 2+2? \x4f60\x597d";
    question.allAnswers = L"3|4|'five'";
    question.defaultAnswerIndex = L"1";
    question.questionTime = L"2026-12-09 06:00:00";
    question.answerCount = 3;
    question.questionType = 2;
    question.answers = {L"3", L"4", L"'five'"};
    ASSERT_TRUE(db->InsertQuestionInfo(question));
    EXPECT_EQ(db->GetQuestionTableLastRowId(), 1);
    question.serverQuestionId = 71;
    ASSERT_TRUE(db->InsertQuestionInfo(question));
    EXPECT_EQ(db->GetQuestionTableLastRowId(), 2);

    QuestionRecord empty = question;
    empty.questionText.Empty();
    EXPECT_FALSE(db->InsertQuestionInfo(empty));
    empty = question;
    empty.allAnswers.Empty();
    EXPECT_FALSE(db->InsertQuestionInfo(empty));
    EXPECT_EQ(db->GetQuestionTableLastRowId(), 2);

    std::vector<QuestionRecord> found(1); // appended to, not emptied
    ASSERT_TRUE(db->QueryQuestionInfo(5, 6, found));
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[1].questionId, 1u);
    EXPECT_EQ(found[2].questionId, 2u);
    EXPECT_EQ(found[1].questionText, question.questionText);
    EXPECT_EQ(found[1].allAnswers, question.allAnswers);
    EXPECT_EQ(found[1].defaultAnswerIndex, L"1");
    EXPECT_EQ(found[1].questionTime, question.questionTime);
    EXPECT_EQ(found[1].answerCount, 3u);
    EXPECT_EQ(found[1].questionType, 2);
    EXPECT_EQ(found[1].roomId, 5u);
    EXPECT_EQ(found[1].userId, 6u);
    EXPECT_TRUE(found[1].answers.empty());
    ASSERT_TRUE(db->QueryQuestionInfo(5, 7, found));
    EXPECT_EQ(found.size(), 3u);

    QuestionRecord read;
    read.questionText = L"unchanged";
    db->QueryQuestionByServerId(55, read);
    EXPECT_EQ(read.questionText, L"unchanged");
    ASSERT_TRUE(db->SetQuestionServerId(55, 1));
    db->QueryQuestionByServerId(55, read);
    EXPECT_EQ(read.questionText, question.questionText);
    EXPECT_EQ(read.serverQuestionId, 55u);
    EXPECT_EQ(read.questionId, 1u);
}
