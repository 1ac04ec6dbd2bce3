// Emotion lookups for windows that draw chat text without owning a picker.
#pragma once
#include "dialogs/ChatText.h"

// Looks keys up in whichever picker window exists in this process; empty when there is none.
EmotionLookup FindEmotionLookup();
