/* global ExtensionCommon, Services, IOUtils, PathUtils, Ci, Cr, ChromeUtils */
"use strict";
const { MailServices } = ChromeUtils.importESModule("resource:///modules/MailServices.sys.mjs");

this.profileCheck = class extends ExtensionCommon.ExtensionAPI {
  getAPI() {
    return {
      profileCheck: {
        // The message and unread counts of the local folder at `path` ("/Inbox"), read after
        // Thunderbird has built its summary from the mbox file (which a new profile lacks).
        async localCounts(path) {
          const root = MailServices.accounts.localFoldersServer.rootFolder;
          const folder = MailServices.folderLookup.getFolderForURL(
            root.URI + path.split("/").map(encodeURIComponent).join("/"));
          const local = folder.QueryInterface(Ci.nsIMsgLocalMailFolder);
          await new Promise((resolve, reject) => {
            try {
              local.getDatabaseWithReparse(
                { OnStartRunningUrl() {}, OnStopRunningUrl: () => resolve() }, null);
              resolve();
            } catch (error) {
              if (error.result == Cr.NS_ERROR_NOT_INITIALIZED) return; // parsing; the listener ends it
              reject(error);
            }
          });
          return { total: folder.getTotalMessages(false), unread: folder.getNumUnread(false) };
        },
        // Writes the report into the profile as profile-check.json and asks Thunderbird to quit,
        // as the user's File > Quit does.
        async finish(report) {
          const file = PathUtils.join(PathUtils.profileDir, "profile-check.json");
          await IOUtils.writeUTF8(file, report);
          Services.startup.quit(Ci.nsIAppStartup.eAttemptQuit);
        },
      },
    };
  }
};
