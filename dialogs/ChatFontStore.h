// The user's chat font as the record database keeps it (apart, so that windows using the room
// records need not see the database's records).
#pragma once
#include "core/Records.h"

// False, with the font unchanged, when none is stored.
bool LoadStoredChatFont(ChatFont& font);
