// Resource and control ids of the module. Shared by the resource scripts and
// the code; a page's dialog template and its tab caption share one number.
#pragma once

// Control: user type name, toolbox bitmap / picture, icon, About box.
#define IDS_BRISEL 1
#define IDB_BRISEL 1
#define IDI_ABOUTDLL 1
#define IDD_ABOUTBOX_BRISEL 1

// Pages: dialog template and caption string.
#define IDD_NODEINFO 200
#define IDD_SUNBLIND1 201
#define IDD_SUNBLIND2 202
#define IDD_SUNBLIND3 203
#define IDD_SUNBLIND4 204

// Node information page.
#define IDC_NODENAME 209

// Sunblind pages: the Read and Write buttons are the same on every page;
// the other control ids are per page (see the pages' control table).
#define IDC_READ 268
#define IDC_WRITE 269

// Sheet buttons of the common controls' property sheet.
#define IDC_SHEET_APPLY 12321
