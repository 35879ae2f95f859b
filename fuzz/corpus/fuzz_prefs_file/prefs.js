# Mozilla User Preferences
user_pref("mail.account.account1.server", "server1");
user_pref("mail.server.server1.type", "pop3");
user_pref("mail.server.server1.port", 995);
user_pref("mail.server.server1.name", "jo \"q\"");
user_pref("b", true);
  user_pref("x",
