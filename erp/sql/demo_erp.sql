-- Demo company for trying Tarvelo: operators for both access modes, allowed certificates, a few
-- documents with their upload records.

INSERT INTO eu (cod_cci, eu, atribut_fiscal, reg_comert_nr, localit, adresa, telefon, email_adr)
VALUES ('RO 4180-1234', 'Tarvelo Demo Distributie SRL', 'RO', 'J40/1234/2015', 'Bucuresti',
        'Str. Exemplului nr. 7', '+40 21 000 0000', 'contabilitate@demo.invalid');

INSERT INTO emitent (emitent, operator_parola, este_operator, functie) VALUES
    ('ana.popescu', 'demo123', true, 'contabil sef'),
    ('ion.ionescu', 'demo123', true, 'contabil'),
    ('maria.eTransp', 'demo123', true, 'logistica');

INSERT INTO oauth2_client (cid, cs, at, rt, emitent, obs) VALUES
    ('tarvelo-demo-client', 'demo-client-secret', 'demo-access-token', 'demo-refresh-token',
     'ana.popescu', 'client OAuth de demonstratie'),
    ('tarvelo-demo-etransp', 'demo-etransp-secret', 'demo-etransp-token', 'demo-etransp-refresh',
     'maria.eTransp', 'client e-Transport');

INSERT INTO oauth2_client_serviciu_em (emitent, serviciu, cid) VALUES
    ('ana.popescu', 'eFact', 'tarvelo-demo-client'),
    ('ana.popescu', 'eTransp', 'tarvelo-demo-client'),
    ('maria.eTransp', 'eTransp', 'tarvelo-demo-etransp');

-- Serial numbers as the certificate store reports them: upper-case hexadecimal, no separators.
INSERT INTO digital_certif (serial_no, obs) VALUES
    ('7A3F0001', 'certificat calificat Ana Popescu'),
    ('7A3F0002', 'certificat calificat Ion Ionescu');

INSERT INTO partener (partener, cod_fiscal, localit, adresa) VALUES
    ('Client Alfa SRL', 'RO10000008', 'Cluj-Napoca', 'Str. Alfa 1'),
    ('Client Beta SA', 'RO10000016', 'Iasi', 'Bd. Beta 22'),
    ('Client Gama SRL', 'RO10000024', 'Timisoara', 'Str. Gama 3');

INSERT INTO doc (data_doc, tip_doc, nr_doc, val_mon, moneda, partener, cod_fiscal_partener, emitent)
SELECT current_date - (n * 5), 'FC', 'TDD' || lpad(n::text, 5, '0'), 0, 'RON',
       (ARRAY['Client Alfa SRL', 'Client Beta SA', 'Client Gama SRL'])[1 + n % 3],
       (ARRAY['RO10000008', 'RO10000016', 'RO10000024'])[1 + n % 3], 'ana.popescu'
  FROM generate_series(1, 8) n;

INSERT INTO doc_linii (data_doc, tip_doc, nr_doc, nr_linie, articol, um, cantitate, pret, cota_tva)
SELECT d.data_doc, d.tip_doc, d.nr_doc, l, 'Articol demo ' || l, 'H87', l * 2, 100 + l * 12.5, 19
  FROM doc d CROSS JOIN generate_series(1, 3) l;

-- The value with VAT as the invoice generator computes it: VAT on the summed line amounts.
UPDATE doc d SET val_mon = (SELECT sum(round(cantitate * pret, 2)) + round(sum(round(cantitate * pret, 2)) * 0.19, 2)
                              FROM doc_linii l
                             WHERE l.data_doc = d.data_doc AND l.tip_doc = d.tip_doc AND l.nr_doc = d.nr_doc);

-- The first six were uploaded to SPV: upload indexes 5000100001 and up.
INSERT INTO anaf_e_fact (data_doc, tip_doc, nr_doc, data_incarcare, index_incarcare, stare)
SELECT data_doc, tip_doc, nr_doc, to_char(data_doc, 'YYYYMMDD') || '1000',
       (5000100000 + row_number() OVER (ORDER BY nr_doc))::text, 'ok'
  FROM doc WHERE tip_doc = 'FC' AND nr_doc <= 'TDD00006';
