// The creation-time stamp behind each entry of the extension inventory.
#include "system/report_sink.h"
#include "system/scanner.h"

void printFolderCreationTime(std::u16string_view path) {
  const std::u16string zpath(path);
  win::WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!win::GetFileAttributesExW(zpath.c_str(), win::GetFileExInfoStandard, &data)) {
    logiti(u" [Error code: %d]", static_cast<int>(win::GetLastError()));
    return;
  }
  // The stamp is the creation time as the file system keeps it, in UTC: no
  // conversion to local time, so reports from machines in different zones
  // compare directly. A time that does not convert leaves the zeroed fields.
  win::SYSTEMTIME st{};
  win::FileTimeToSystemTime(&data.ftCreationTime, &st);
  char16_t text[64] = {};
  win::wsprintfW(text, u" [%02u:%02u %02u/%02u/%u]", static_cast<unsigned>(st.wHour),
                 static_cast<unsigned>(st.wMinute), static_cast<unsigned>(st.wDay),
                 static_cast<unsigned>(st.wMonth), static_cast<unsigned>(st.wYear));
  logit(text);
}
