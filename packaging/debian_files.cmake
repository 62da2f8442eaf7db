# CPack runs this on the staged package before it builds the .deb. Debian wants the copyright
# file and the changelog in /usr/share/doc/<package>, outside the prefix the install rules know,
# and the manual pages and changelog gzipped with -9n, which leaves out the name and time stamp
# so that the same build gives the same package.
set(root ${CPACK_TEMPORARY_DIRECTORY})
set(doc ${root}/usr/share/doc/${CPACK_PACKAGE_NAME})
file(MAKE_DIRECTORY ${doc})
file(COPY_FILE ${CMAKE_CURRENT_LIST_DIR}/../LICENSE ${doc}/copyright)
file(COPY_FILE ${CMAKE_CURRENT_LIST_DIR}/changelog ${doc}/changelog)
file(GLOB pages ${root}${CPACK_PACKAGING_INSTALL_PREFIX}/share/man/man*/*)
execute_process(COMMAND gzip -9n ${pages} ${doc}/changelog COMMAND_ERROR_IS_FATAL ANY)
