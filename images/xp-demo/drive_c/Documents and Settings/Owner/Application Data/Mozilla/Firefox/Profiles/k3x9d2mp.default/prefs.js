# Mozilla User Preferences

user_pref("browser.startup.homepage", "http://www.google.com/");
user_pref("browser.search.selectedEngine", "Google");
user_pref("extensions.lastAppVersion", "3.6.6");
