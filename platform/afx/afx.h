// The framework subset the client is written against.
#pragma once
#include "platform/afx/AfxApp.h"
#include "platform/afx/AfxDisp.h"
#include "platform/afx/AfxFile.h"
#include "platform/afx/AfxString.h"
