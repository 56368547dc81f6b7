# orvy_c_string_literal(OUT value): `value` as a C++ string literal, quotes included, so a
# deployment value with quotes, backslashes or line breaks reaches the program unchanged.
function(orvy_c_string_literal out value)
    string(REPLACE "\\" "\\\\" value "${value}")
    string(REPLACE "\"" "\\\"" value "${value}")
    string(REPLACE "\n" "\\n" value "${value}")
    string(REPLACE "\r" "\\r" value "${value}")
    string(REPLACE "\t" "\\t" value "${value}")
    set(${out} "\"${value}\"" PARENT_SCOPE)
endfunction()
