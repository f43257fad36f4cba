"""solvane-publish: keeps a contract-v1 imagery mirror of the last 48 hours from public SDO data."""
