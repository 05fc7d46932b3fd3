/* global ExtensionCommon, Services, IOUtils, PathUtils, Ci, ChromeUtils */
"use strict";
// Drives Thunderbird's main window for docs/take-thunderbird-screenshots.sh, which takes the
// pictures: each step writes "<name>.ready" into the profile and waits for "<name>.taken".
const { MailServices } = ChromeUtils.importESModule("resource:///modules/MailServices.sys.mjs");
const { setTimeout } = ChromeUtils.importESModule("resource://gre/modules/Timer.sys.mjs");
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const mainWindow = () => Services.wm.getMostRecentWindow("mail:3pane");

this.shots = class extends ExtensionCommon.ExtensionAPI {
  getAPI() {
    return {
      shots: {
        // Reveals each local folder of `paths` in the folder pane and shows the first.
        async showFolders(paths) {
          const root = MailServices.accounts.localFoldersServer.rootFolder;
          const about3Pane = mainWindow().gTabmail.currentAbout3Pane;
          for (const path of [...paths].reverse()) {
            const uri = root.URI + path.split("/").map(encodeURIComponent).join("/");
            about3Pane.displayFolder(uri);
            await sleep(500);
          }
        },
        async showAccountSettings(accountName) {
          const account = MailServices.accounts.accounts.find(
            (candidate) => candidate.incomingServer.prettyName == accountName);
          mainWindow().MsgAccountManager(null, account.incomingServer);
        },
        async pictureTaken(name) {
          const dir = PathUtils.profileDir;
          await IOUtils.writeUTF8(PathUtils.join(dir, name + ".ready"), "");
          while (!(await IOUtils.exists(PathUtils.join(dir, name + ".taken")))) await sleep(200);
        },
        async quit() {
          Services.startup.quit(Ci.nsIAppStartup.eAttemptQuit);
        },
      },
    };
  }
};
