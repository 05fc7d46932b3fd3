"use strict";
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function run() {
  const local = (await browser.accounts.list(false)).find((account) => account.type == "none");
  while ((await browser.folders.getSubFolders(local.rootFolder, false)).length == 0) {
    await sleep(500);
  }
  await sleep(3000);
  await browser.shots.showFolders(["/Inbox", "/Office Mail/Inbox", "/Sample News/example.quillet.users"]);
  await sleep(3000);
  await browser.shots.pictureTaken("folder-pane");
  await browser.shots.showAccountSettings("Office Mail");
  await sleep(4000);
  await browser.shots.pictureTaken("account-settings");
}

run().finally(() => browser.shots.quit());
