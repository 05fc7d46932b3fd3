# Reads a mailbox back with Python's mailbox module, as a mail program would:
#   python3 read_mail.py mbox|maildir MAILBOX OUT
# writes each message of each folder to OUT/<folder>/<number> <flags> (a folder for each, even
# an empty one): the mbox file's one folder and the root maildir are "=", the other maildir
# folders their Maildir++ names ("INBOX.Projects"). An mbox message's bytes come with its mboxrd
# quoting undone, its flags as mboxMessage reads them ("RO", "FA"); a maildir message's bytes as
# they are, its flags as MaildirMessage reads them ("FPRS").
import mailbox
import os
import re
import sys

kind, path, out = sys.argv[1:4]


def dump(name, box, order):
    os.makedirs(os.path.join(out, name))
    for number, key in enumerate(order(box.keys())):
        data = box.get_bytes(key)
        if kind == "mbox":
            data = re.sub(rb"(?m)^>(>*From )", rb"\1", data)
        flags = box.get_message(key).get_flags()
        with open(os.path.join(out, name, "%05d %s" % (number, flags)), "wb") as file:
            file.write(data)


if kind == "mbox":
    dump("=", mailbox.mbox(path, create=False), list)
else:
    # The export's file names are "<time>.Q<position>.<host>": in the store's order by position.
    def order(keys):
        return sorted(keys, key=lambda key: int(key.split(".Q")[1].split(".")[0]))

    box = mailbox.Maildir(path, create=False)
    dump("=", box, order)
    for name in box.list_folders():
        dump(name, box.get_folder(name), order)
