# Lays out the files both Windows release files carry (cmake -P): the programs, the read-me,
# Kivrel's licence and the licence texts of what is built in, the texts with Windows line ends.
# -DSTAGE=DIR -DGUI=Kivrel.exe -DCLI=kivrel.exe -DSTRIP=strip -DREADME=README.txt
# -DLICENSE=LICENSE "-DLICENSES=name=file;..."
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE}/cli ${STAGE}/licenses)
file(COPY_FILE ${GUI} ${STAGE}/Kivrel.exe)
file(COPY_FILE ${CLI} ${STAGE}/cli/kivrel.exe)
# The symbol tables are of no use to users.
execute_process(COMMAND ${STRIP} --strip-all ${STAGE}/Kivrel.exe ${STAGE}/cli/kivrel.exe
                COMMAND_ERROR_IS_FATAL ANY)

function(write_text from to)
  file(READ ${from} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${to} "${text}")
endfunction()

write_text(${README} ${STAGE}/README.txt)
write_text(${LICENSE} ${STAGE}/LICENSE.txt)
foreach(entry IN LISTS LICENSES)
  string(REPLACE "=" ";" entry "${entry}")
  list(GET entry 0 name)
  list(GET entry 1 from)
  write_text(${from} ${STAGE}/licenses/${name}.txt)
endforeach()
