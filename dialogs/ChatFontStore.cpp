#include "dialogs/ChatFontStore.h"

#include "database/SqliteMgr.h"

bool LoadStoredChatFont(ChatFont& font)
{
    IDBMgr* db = CSqliteMgr::GetInstance();
    return db && db->GetFontInfo(font);
}
