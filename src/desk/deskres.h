// Brisel Settings' own resources.
#pragma once

#define IDI_DESK 1
#define IDD_DESK_NAME 100
#define IDC_DESK_NAME_TEXT 101
#define IDC_DESK_NAME 102
