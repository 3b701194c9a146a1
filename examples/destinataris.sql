-- The recipients of the example campaign (sqlite3 destinataris.sqlite < destinataris.sql).
-- Every address is on a domain reserved for examples, so nothing reaches a real person.
CREATE TABLE Destinataris (
  Id INTEGER PRIMARY KEY,
  Nom TEXT NOT NULL,
  Cognoms TEXT NOT NULL,
  Ciutat TEXT NOT NULL,
  Correu TEXT NOT NULL
);
INSERT INTO Destinataris (Nom, Cognoms, Ciutat, Correu) VALUES
  ('Anna', 'Puig Serra', 'Girona', 'anna.puig@example.com'),
  ('Jordi', 'Vidal Roca', 'Lleida', 'jordi.vidal@example.org'),
  ('Marta', 'Soler Pons', 'Tarragona', 'marta.soler@example.net'),
  ('Pere', 'Camps Font', 'Barcelona', 'pere.camps@example.com'),
  ('Núria', 'Ferrer Mas', 'Vic', 'nuria.ferrer@example.org'),
  ('Joan', 'Martí Bosch', 'Reus', 'joan.marti@example.net');
