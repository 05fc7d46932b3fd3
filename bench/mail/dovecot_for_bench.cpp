// Runs the tests' Dovecot (tests/support/imap) for imap.sh: starts it in FOLDER, prints
// "PORT CERTIFICATE USER PASSWORD" on one line, and stops it when its standard input ends.
//
//   dovecot_for_bench FOLDER

#include <iostream>
#include <string>

#include "support/imap/dovecot_server.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: dovecot_for_bench FOLDER\n";
        return 2;
    }
    using quillet::testing::DovecotServer;
    DovecotServer server(argv[1]);
    if (!server.failure().empty()) {
        std::cerr << "dovecot_for_bench: " << server.failure() << "\n";
        return 1;
    }
    std::cout << server.port() << " " << server.certificate().string() << " "
              << DovecotServer::kUser << " " << DovecotServer::kPassword << std::endl;
    for (std::string line; std::getline(std::cin, line);) {
    }
    return 0;
}
