# Copies a text file with Windows line endings (CRLF), as a pilot's editor on Windows expects
# them; the repository keeps LF.
# Usage: cmake -DIN=<text file> -DOUT=<copy> -P crlf_copy.cmake
file(READ ${IN} text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
