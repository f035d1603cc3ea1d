# Writes a C++ source that holds one text file as a character array, so that
# the program carries its data without looking for it at run time.
# -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=name -DNAMESPACE=ns
file(READ "${INPUT}" content HEX)
string(LENGTH "${content}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," content "${content}")
file(WRITE "${OUTPUT}" "#include <cstddef>\nnamespace ${NAMESPACE} {\nextern const unsigned char ${SYMBOL}[];\nextern const std::size_t ${SYMBOL}Size;\nconst unsigned char ${SYMBOL}[] = {${content}0};\nconst std::size_t ${SYMBOL}Size = ${size};\n}\n")
