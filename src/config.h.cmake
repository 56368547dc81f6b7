#pragma once

// Deployment values of the course database, set at build time.
#define ORVY_DB_HOST @ORVY_DB_HOST_LITERAL@
#define ORVY_DB_NAME @ORVY_DB_NAME_LITERAL@
#define ORVY_DB_PASSWORD @ORVY_DB_PASSWORD_LITERAL@
#define ORVY_DB_PORT @ORVY_DB_PORT@
