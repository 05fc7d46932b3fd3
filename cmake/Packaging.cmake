# What an installation holds besides the programs, their skin and help (apps/): the manual pages,
# quillet-cli's bash, zsh and fish completions, the AppStream entry and the package's own
# documents; and the Debian package that CPack makes of it all (scripts/package.sh). The version
# is the project's, the date QUILLET_RELEASE_DATE, both from the top CMakeLists.txt.

set(QUILLET_MAINTAINER "Quillet developers <support@quillet.example.org>")
set(QUILLET_APPSTREAM_ID org.example.quillet)
set(QUILLET_DATA ${PROJECT_SOURCE_DIR}/data)
set(QUILLET_GENERATED ${PROJECT_BINARY_DIR}/release)

# The release date as the manual pages (SOURCE_DATE_EPOCH) and the changelog (RFC 2822) write it.
execute_process(COMMAND date -u -d ${QUILLET_RELEASE_DATE} +%s
                OUTPUT_VARIABLE QUILLET_RELEASE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND env LC_ALL=C date -u -R -d ${QUILLET_RELEASE_DATE}
                OUTPUT_VARIABLE QUILLET_RELEASE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)

configure_file(${QUILLET_DATA}/man/quillet.1.in ${QUILLET_GENERATED}/quillet.1 @ONLY)
configure_file(${QUILLET_DATA}/metainfo/${QUILLET_APPSTREAM_ID}.metainfo.xml.in
               ${QUILLET_GENERATED}/${QUILLET_APPSTREAM_ID}.metainfo.xml @ONLY)
configure_file(${QUILLET_DATA}/debian/changelog.in ${QUILLET_GENERATED}/changelog @ONLY)

# Manual pages: quillet.1 is written by hand; quillet-cli.1 is made by help2man from the built
# program's own help (data/man/quillet-cli-help.sh) and data/man/quillet-cli.h2m. Both are
# installed compressed, as Debian wants them.
find_program(QUILLET_HELP2MAN help2man)
find_program(QUILLET_GZIP gzip REQUIRED)
set(manPages ${QUILLET_GENERATED}/quillet.1.gz)
add_custom_command(OUTPUT ${QUILLET_GENERATED}/quillet.1.gz
    COMMAND ${QUILLET_GZIP} -9nkf ${QUILLET_GENERATED}/quillet.1
    DEPENDS ${QUILLET_GENERATED}/quillet.1 VERBATIM)
if(QUILLET_HELP2MAN)
    add_custom_command(OUTPUT ${QUILLET_GENERATED}/quillet-cli.1 ${QUILLET_GENERATED}/quillet-cli.1.gz
        COMMAND ${CMAKE_COMMAND} -E env QUILLET_CLI=$<TARGET_FILE:quillet-cli>
                SOURCE_DATE_EPOCH=${QUILLET_RELEASE_EPOCH}
                sh ${QUILLET_DATA}/man/make-quillet-cli-man.sh ${QUILLET_HELP2MAN}
                   ${QUILLET_DATA}/man ${QUILLET_GENERATED}/quillet-cli.1
        COMMAND ${QUILLET_GZIP} -9nkf ${QUILLET_GENERATED}/quillet-cli.1
        DEPENDS quillet-cli ${QUILLET_DATA}/man/make-quillet-cli-man.sh
                ${QUILLET_DATA}/man/quillet-cli-help.sh ${QUILLET_DATA}/man/quillet-cli.h2m
        VERBATIM)
    list(APPEND manPages ${QUILLET_GENERATED}/quillet-cli.1.gz)
else()
    message(WARNING "help2man not found: quillet-cli.1 is neither made nor installed "
                    "(scripts/setup.sh installs it)")
endif()
add_custom_target(man_pages ALL DEPENDS ${manPages})
install(FILES ${manPages} DESTINATION share/man/man1)

install(FILES ${QUILLET_DATA}/completion/quillet-cli
        DESTINATION share/bash-completion/completions)
install(FILES ${QUILLET_DATA}/completion/_quillet-cli DESTINATION share/zsh/vendor-completions)
install(FILES ${QUILLET_DATA}/completion/quillet-cli.fish
        DESTINATION share/fish/vendor_completions.d)
install(FILES ${QUILLET_GENERATED}/${QUILLET_APPSTREAM_ID}.metainfo.xml DESTINATION share/metainfo)

add_custom_command(OUTPUT ${QUILLET_GENERATED}/changelog.gz
    COMMAND ${QUILLET_GZIP} -9nkf ${QUILLET_GENERATED}/changelog
    DEPENDS ${QUILLET_GENERATED}/changelog VERBATIM)
add_custom_target(package_documents ALL DEPENDS ${QUILLET_GENERATED}/changelog.gz)
install(FILES ${QUILLET_DATA}/debian/copyright ${QUILLET_GENERATED}/changelog.gz
        DESTINATION share/doc/quillet)

# The Debian package. Its library dependencies come from dpkg-shlibdeps; the programs Quillet
# runs are named here. genisoimage writes the disc images that hold UDF (volume types 4, 5 and 7),
# and 7 is the default of the disc writer and of `quillet-cli disc write`: without it the default
# fails, so it is a dependency (a small one). crontab (cron) is needed only for scheduled backups, xdg-open (xdg-utils) only to
# open the help and the web address from the window: recommended. Wine makes the prefixes
# Quillet works on, but Quillet never runs it and also reads Windows disks: suggested.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillet)
set(CPACK_PACKAGE_VENDOR "Quillet developers")
set(CPACK_PACKAGE_CONTACT ${QUILLET_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "back up and restore Outlook Express data in a Wine prefix")
# Debian wants the lines of the description within 80 columns, the leading blank included.
set(CPACK_PACKAGE_DESCRIPTION
    "Quillet backs up and restores the data of Outlook Express, one identity at a
time: mail accounts, address book, message rules, message stores, blocked
senders, signatures, stationery and settings, packed into one zip file that
may be protected with a password (AES-256).

It works on a Wine prefix, reads a mounted old Windows disk, schedules backups
in the user's crontab, exports the mail as mbox files, a Maildir or .eml
files and writes backups onto CD or DVD. The desktop program quillet and the
command-line program quillet-cli do the same.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "genisoimage")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cron, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "wine")
# Removing the package names the crontabs that still hold scheduled backups (data/debian/prerm).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${QUILLET_DATA}/debian/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
