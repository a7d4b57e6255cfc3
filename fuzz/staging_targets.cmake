kivrel_fuzz_target(fuzz_archive_name SOURCES archive_name_fuzz.cpp LIBS kivrel_staging)
# What WinRAR's Rar.exe, HaoZipC and 7-Zip list of an archive before they may unpack it.
# Seeds: their technical listings as tests/update/archive_listing_test.cpp quotes them.
kivrel_fuzz_target(fuzz_archive_listing SOURCES archive_listing_fuzz.cpp LIBS kivrel_staging)
# Archives from the server, unpacked in this process (Linux and macOS). The seeds in
# corpus/fuzz_unpack: zip.zip and lzma.7z made by `7z a` from a folder holding sub/DB2024.QDX
# and readme.txt; the others by tests/update/test_archives.h: stored.rar (StoredRar5 with a
# folder and two files), rar4.rar (StoredRar4), hostile.rar (StoredRar5 with "../x", an
# absolute name, a symlink, a hardlink, a device, a setuid file), hostile.zip (WriteArchive
# "zip" with "../x" and a symlink followed by a file through it).
if(NOT WIN32)
  kivrel_fuzz_target(fuzz_unpack SOURCES unpack_fuzz.cpp LIBS kivrel_staging)
endif()
