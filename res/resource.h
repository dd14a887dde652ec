// Symbols of the wobblegen resources: dialog templates, strings, icons, controls and
// command ids.
#pragma once

// Dialog templates.
constexpr unsigned IDD_ABOUT_BOX = 100;
constexpr unsigned IDD_GENERATOR = 102;

// Strings.
constexpr unsigned IDS_ABOUT_MENU = 101;

// Icon groups.
constexpr unsigned IDI_APP_ICON = 128;

// Controls of IDD_GENERATOR.
constexpr int IDC_SAMPLE_RATE = 1000;
constexpr int IDC_MOD_FREQUENCY = 1001;
constexpr int IDC_LEVEL = 1005;
constexpr int IDC_FILE_NAME = 1006;
constexpr int IDC_CENTER_FREQUENCY = 1007;
constexpr int IDC_DURATION = 1008;

// System-menu command of the About entry; system commands ignore the low four bits.
constexpr unsigned ID_SYS_ABOUT = 0x0010;
