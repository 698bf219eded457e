// Placeholder until the procedure driver lands.
