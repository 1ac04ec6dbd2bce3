// Resource numbers of the image control server.
#pragma once
#define IDS_PROJNAME 100
#define IDR_TESSELLON 101
#define IDB_LVIMAGECTL 102
#define IDR_LVIMAGECTL 103
