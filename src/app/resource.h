#pragma once

// Ids shared by the resource script and the code.
#define IDD_PROGRESS 102
#define IDC_PROGRESS 1000
#define IDI_APP 130
