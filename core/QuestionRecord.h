// One question put to the class: as received from the room, and as one QuestionInfo row.
#pragma once
#include "platform/afx/AfxString.h"
#include <cstdint>
#include <vector>

struct QuestionRecord {
    uint32_t roomId = 0;
    uint32_t userId = 0;
    uint32_t questionId = 0;
    uint32_t serverQuestionId = 0;
    CString questionText;
    CString allAnswers;
    CString defaultAnswerIndex;
    CString questionTime;
    uint32_t answerCount = 0;
    std::vector<CString> answers; // never stored
    int32_t questionType = 0;
};
