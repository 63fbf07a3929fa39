// Resource and control ids of the dialog front end.
#pragma once

// Dialog templates, strings, icons and menu commands.
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDS_ABOUTBOX = 101;
constexpr int IDD_VOLTARIS_DIALOG = 102;
constexpr int IDR_MAINFRAME = 128;
constexpr int IDD_DEVICE_TEST = 130;
constexpr int IDD_HUB_TEST = 131;
constexpr int IDD_HOST_TEST = 132;
constexpr int IDD_SS_TEST = 143;
constexpr unsigned IDM_ABOUTBOX = 0x0010;

// Main dialog.
constexpr int IDC_EXIT = 1000;
constexpr int IDC_TEST = 1001;
constexpr int IDC_HOST_GROUP = 1004;
constexpr int IDC_HOST_CHOICE = 1005;
constexpr int IDC_DEVICE_CHOICE = 1006;
constexpr int IDC_HUB_CHOICE = 1007;
constexpr int IDC_HOST_LIST = 1008;
constexpr int IDC_SS_CHOICE = 1010;

// Device test dialog.
constexpr int IDC_DEVICE_ENUMERATE = 1011;
constexpr int IDC_DEVICE_LIST_GROUP = 1012;
constexpr int IDC_DEVICE_LIST = 1013;
constexpr int IDC_DEVICE_COMMAND = 1014;
constexpr int IDC_DEVICE_COMMAND_LABEL = 1015;
constexpr int IDC_DEVICE_EXECUTE = 1016;
constexpr int IDC_DEVICE_RETURN = 1017;
constexpr int IDC_DEVICE_CONTROL_GROUP = 1018;
constexpr int IDC_DEVICE_STATUS = 1019;
constexpr int IDC_DEVICE_ADDRESS = 1020;
constexpr int IDC_DEVICE_ADDRESS_LABEL = 1021;
constexpr int IDC_DEVICE_STATUS_LABEL = 1028;

// Hub test dialog.
constexpr int IDC_HUB_ADDRESS_LABEL = 1021;
constexpr int IDC_HUB_SELECTION_GROUP = 1022;
constexpr int IDC_HUB_LIST = 1023;
constexpr int IDC_HUB_ENUMERATE = 1024;
constexpr int IDC_HUB_CONTROL_GROUP = 1025;
constexpr int IDC_HUB_COMMAND_LABEL = 1026;
constexpr int IDC_HUB_DOWNSTREAM_LIST = 1027;
constexpr int IDC_HUB_DOWNSTREAM_LABEL = 1029;
constexpr int IDC_HUB_EXECUTE = 1030;
constexpr int IDC_HUB_RETURN = 1031;
constexpr int IDC_HUB_STATUS = 1032;
constexpr int IDC_HUB_STATUS_LABEL = 1033;
constexpr int IDC_HUB_PORT_COMMAND = 1035;
constexpr int IDC_HUB_PORT_CONTROL_LABEL = 1036;
constexpr int IDC_HUB_PORT_LABEL = 1037;
constexpr int IDC_HUB_ADDRESS = 1038;
constexpr int IDC_HUB_COMMAND = 1053;
constexpr int IDC_HUB_DISCONNECT_NOTIFY = 1056;
constexpr int IDC_HUB_DEVICE_ADDRESS_LABEL = 1057;
constexpr int IDC_HUB_DEVICE_COMMAND = 1058;
constexpr int IDC_HUB_DEVICE_ADDRESS = 1059;
constexpr int IDC_HUB_PORT_NUMBER = 1081;

// Host test dialog.
constexpr int IDC_HOST_PORT_CONTROL_LABEL = 1036;
constexpr int IDC_HOST_EXECUTE = 1039;
constexpr int IDC_HOST_RETURN = 1040;
constexpr int IDC_HOST_DEVICE_GROUP = 1041;
constexpr int IDC_HOST_ENUMERATE = 1042;
constexpr int IDC_HOST_DEVICE_LIST = 1043;
constexpr int IDC_HOST_PORT_GROUP = 1044;
constexpr int IDC_HOST_PORT_LABEL = 1046;
constexpr int IDC_HOST_DEVICE_COMMAND = 1047;
constexpr int IDC_HOST_STATUS = 1049;
constexpr int IDC_HOST_STATUS_LABEL = 1050;
constexpr int IDC_HOST_DEVICE_CONTROL_GROUP = 1051;
constexpr int IDC_HOST_PORT_COMMAND = 1052;
constexpr int IDC_HOST_ADDRESS = 1055;
constexpr int IDC_HOST_DISCONNECT_NOTIFY = 1056;
constexpr int IDC_HOST_ADDRESS_LABEL = 1057;
constexpr int IDC_HOST_PORT_NUMBER = 1082;

// SuperSpeed test dialog.
constexpr int IDC_SS_LIST_GROUP = 1022;
constexpr int IDC_SS_CONTROL_GROUP = 1025;
constexpr int IDC_SS_TEST_MODE_LABEL = 1026;
constexpr int IDC_SS_STATUS_LABEL = 1033;
constexpr int IDC_SS_PORT_LABEL = 1037;
constexpr int IDC_SS_ENUMERATE = 1061;
constexpr int IDC_SS_EXECUTE = 1062;
constexpr int IDC_SS_RETURN = 1063;
constexpr int IDC_SS_TEST_MODE = 1064;
constexpr int IDC_SS_LIST = 1066;
constexpr int IDC_SS_STATUS = 1067;
constexpr int IDC_SS_PORT_NUMBER = 1068;

// Installs the dialog templates, strings and icons with the framework.
void InstallDialogResources();
