"use strict";
// Each account as Thunderbird sees it: its name, type, and every folder with its message counts;
// each address book with its contacts' names and first e-mail addresses.
// Thunderbird finds an account's folders after start-up; the check waits for Local Folders' and
// the news accounts' (up to a minute), and an account whose folders cannot be listed (a POP3
// account whose mail goes to Local Folders has none of its own) shows none.
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function subFolders(folder) {
  return browser.folders.getSubFolders(folder, false).catch(() => []);
}

async function describe(folder, local) {
  const info = local ? await browser.profileCheck.localCounts(folder.path) : {};
  const below = [];
  for (const sub of await subFolders(folder)) below.push(await describe(sub, local));
  return {name: folder.name, path: folder.path, total: info.total, unread: info.unread,
          subFolders: below};
}

async function check() {
  const all = await browser.accounts.list(false);
  // Local Folders and each news account (its groups come from the newsrc) list folders once
  // Thunderbird has loaded them.
  const local = all.find((account) => account.type == "none");
  const waitFor = all.filter((account) => account == local || account.type == "nntp");
  for (let waited = 0; waited < 60000; waited += 500) {
    const listed = await Promise.all(waitFor.map((account) => subFolders(account.rootFolder)));
    if (listed.every((folders) => folders.length > 0)) break;
    await sleep(500);
  }
  const accounts = [];
  for (const account of all) {
    const folders = [];
    for (const folder of await subFolders(account.rootFolder)) {
      folders.push(await describe(folder, account == local));
    }
    accounts.push({name: account.name, type: account.type, folders});
  }
  const addressBooks = [];
  for (const book of await browser.addressBooks.list(true)) {
    const contacts = (book.contacts || []).map((contact) => ({
      name: contact.properties.DisplayName, email: contact.properties.PrimaryEmail}));
    addressBooks.push({name: book.name, contacts});
  }
  return JSON.stringify({accounts, addressBooks});
}

check().then(
  (report) => browser.profileCheck.finish(report),
  (error) => browser.profileCheck.finish(JSON.stringify({error: String(error)})));
