/* Imports kernel32!GetTickCount64, which exists from Vista on: the XP import
   check must refuse this executable and name the function. */
#define _WIN32_WINNT 0x0600
#include <windows.h>

int main(void) { return GetTickCount64() == 0; }
