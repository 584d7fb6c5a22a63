# Fails when FILE is larger than LIMIT bytes.
file(SIZE "${FILE}" size)
if(size GREATER LIMIT)
    message(FATAL_ERROR "${FILE} is ${size} bytes, more than ${LIMIT}")
endif()
message(STATUS "${FILE} is ${size} bytes (limit ${LIMIT})")
