// Identifiers shared by the resource script and the code.
#pragma once

#define IDC_ABOUT_VERSION 1001
