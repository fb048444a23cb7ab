/* Imports msvcrt!_wfopen_s, one of the secure CRT functions that XP's
   msvcrt.dll (7.0) does not export: the XP import check must refuse it. */
#include <stdio.h>

int main(void) {
  FILE* f = NULL;
  return _wfopen_s(&f, L"missing.txt", L"rb") == 0;
}
