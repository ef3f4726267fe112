// Resource and control ids, shared by kavo.rc and the code.
#pragma once

#define IDD_SETTINGS 101
#define IDI_APP 102

#define IDC_PROGRAM 1000
#define IDC_BROWSE 1001
#define IDC_OPTIONS 1002
#define IDC_EXIT_METHOD 1003
#define IDC_TEST_DELETE 1004
#define IDC_SERVICE_NAME 1005
