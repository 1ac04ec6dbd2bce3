// The window layer in one include.
#pragma once
#include "platform/ui/UIBase.h"
#include "platform/ui/UICommonControls.h"
#include "platform/ui/UIContainer.h"
#include "platform/ui/UIControl.h"
#include "platform/ui/UIDlgBuilder.h"
#include "platform/ui/UIList.h"
#include "platform/ui/UILog.h"
#include "platform/ui/UIManager.h"
#include "platform/ui/UIRender.h"
#include "platform/ui/UIRichEdit.h"
#include "platform/ui/UIWindow.h"
