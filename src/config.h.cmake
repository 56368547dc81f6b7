#pragma once

// Deployment values of the course database, set at build time.
#define ORVY_DB_HOST @ORVY_DB_HOST_LITERAL@
#define ORVY_DB_NAME @ORVY_DB_NAME_LITERAL@
#define ORVY_DB_PASSWORD @ORVY_DB_PASSWORD_LITERAL@
#define ORVY_DB_PORT @ORVY_DB_PORT@
// Encryption to the server, and the name of the authority's file shipped with the program
// ("" when the system's trust store is used).
#define ORVY_DB_TLS @ORVY_DB_TLS_VALUE@
#define ORVY_DB_COMPRESS @ORVY_DB_COMPRESS_VALUE@
#define ORVY_DB_TLS_CA_FILE @ORVY_DB_TLS_CA_FILE_LITERAL@
