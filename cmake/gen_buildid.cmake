# Writes a fresh 32-digit lowercase hexadecimal build identifier.
string(RANDOM LENGTH 32 ALPHABET 0123456789abcdef id)
file(WRITE ${OUT} "/* generated at build time */\nconst char vxr_build_id[] = \"${id}\";\n")
